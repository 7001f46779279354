#include "log_text.h"

#include "files.h"

#include <cstdio>

std::vector<std::string> LogMessagesOf(const std::string& text) {
    std::vector<std::string> messages;
    for (const std::string& line : SplitCrlfLines(text))
        messages.push_back(line.size() >= kMessageStart ? line.substr(kMessageStart) : line);
    return messages;
}

std::vector<std::string> LogMessages(const std::string& path) {
    return LogMessagesOf(ReadWholeFile(path));
}

std::vector<std::string> LogMessages(const std::wstring& path) {
    return LogMessagesOf(ReadWholeFile(path));
}

bool AllLinesTimestamped(const std::string& path) {
    std::string data = ReadWholeFile(path);
    size_t start = 0;
    for (size_t end; (end = data.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string line = data.substr(start, end - start);
        int month, day, year, hour, minute, second;
        char space = 0;
        if (line.size() < kMessageStart ||
            std::sscanf(line.c_str(), "%2d/%2d/%2d %2d:%2d:%2d%c", &month, &day, &year, &hour,
                        &minute, &second, &space) != 7 ||
            space != ' ' || line[2] != '/' || line[5] != '/' || line[8] != ' ')
            return false;
    }
    return true;
}
