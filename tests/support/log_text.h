// The program's log read back: each line is a timestamp ("MM/DD/YY HH:MM:SS"), a space and
// the message.
#pragma once

#include <string>
#include <vector>

constexpr size_t kTimestampWidth = 17;
// Where the message starts: after the timestamp and its space.
constexpr size_t kMessageStart = kTimestampWidth + 1;

// The messages of a log's text, without timestamps and line ends; the last one may be
// unterminated.
std::vector<std::string> LogMessagesOf(const std::string& text);
// The same for the file at path.
std::vector<std::string> LogMessages(const std::string& path);
std::vector<std::string> LogMessages(const std::wstring& path);
// TRUE when every complete line of the file starts with a timestamp and a space.
bool AllLinesTimestamped(const std::string& path);
