#include "log_oracle.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <utility>
#include <vector>

namespace reliability {

size_t AgreeingBytes(const std::string& raw, size_t pos, const std::string& message) {
    // 'd' stands for any digit.
    static const char kShape[] = "dd/dd/dd dd:dd:dd ";
    static_assert(sizeof kShape - 1 == kMessageStart, "the timestamp's shape");
    const size_t messageEnd = kMessageStart + message.size(), full = LineLength(message);
    size_t i = 0;
    for (; i < full && pos + i < raw.size(); ++i) {
        char c = raw[pos + i];
        bool good = i < kMessageStart
                        ? (kShape[i] == 'd' ? std::isdigit(static_cast<unsigned char>(c)) != 0
                                            : c == kShape[i])
                    : i < messageEnd  ? c == message[i - kMessageStart]
                    : i == messageEnd ? c == '\r'
                                      : c == '\n';
        if (!good)
            break;
    }
    return i;
}

LogFit FitLog(const std::string& raw, const Lines& predicted, size_t looseBegin, size_t looseEnd) {
    const size_t n = predicted.size();
    // Each line's fate on the way that fits; every line on it is given one.
    std::vector<LineFate> fates(n, LineFate::Whole);
    // Places (file offset, line index) from which no way fits: each is tried once.
    std::set<std::pair<size_t, size_t>> failed;
    std::function<bool(size_t, size_t)> fit = [&](size_t pos, size_t j) {
        for (; j < n && (j < looseBegin || j >= looseEnd); ++j) {
            size_t full = LineLength(predicted[j]);
            if (AgreeingBytes(raw, pos, predicted[j]) != full)
                return false;
            fates[j] = LineFate::Whole;
            pos += full;
        }
        if (j == n)
            return pos == raw.size();
        if (failed.count({pos, j}) != 0)
            return false;
        auto settle = [&](LineFate fate) {
            fates[j] = fate;
            return true;
        };
        size_t full = LineLength(predicted[j]), have = AgreeingBytes(raw, pos, predicted[j]);
        if (have == full && fit(pos + full, j + 1))
            return settle(LineFate::Whole);
        // A piece is followed by the next line's timestamp or by the end of the file.
        for (size_t cut = std::min(have, full - 1); cut > 0; --cut)
            if ((pos + cut == raw.size() || AgreeingBytes(raw, pos + cut, "") >= kTimestampWidth) &&
                fit(pos + cut, j + 1))
                return settle(LineFate::Cut);
        if (fit(pos, j + 1))
            return settle(LineFate::Dropped);
        failed.insert({pos, j});
        return false;
    };
    LogFit result;
    result.ok = fit(0, 0);
    if (result.ok) {
        result.whole = std::count(fates.begin(), fates.end(), LineFate::Whole);
        result.cut = std::count(fates.begin(), fates.end(), LineFate::Cut);
        result.dropped = std::count(fates.begin(), fates.end(), LineFate::Dropped);
        return result;
    }
    // Where the file first departs from the prediction, for the failure message.
    size_t pos = 0, j = 0;
    while (j < n && AgreeingBytes(raw, pos, predicted[j]) == LineLength(predicted[j]))
        pos += LineLength(predicted[j++]);
    result.problem = "the log departs from the prediction at line " + std::to_string(j + 1) +
                     " of " + std::to_string(n) + ": expected \"" +
                     (j < n ? predicted[j] : std::string("(end of file)")) + "\", found \"" +
                     raw.substr(pos, std::min<size_t>(raw.find("\r\n", pos) - pos, 300)) + "\"";
    return result;
}

bool Vocabulary::Whole(const std::string& message) const {
    return fixed.count(message) != 0 || IsLogUp(message);
}

bool Vocabulary::Prefix(const std::string& piece) const {
    for (const std::string& message : fixed)
        if ((message + "\r").compare(0, piece.size(), piece) == 0)
            return true;
    // A connection line cut short: the prefix, or the prefix and part of an address.
    std::string up = kLogUpPrefix;
    if (up.compare(0, piece.size(), piece.substr(0, up.size())) != 0)
        return false;
    return piece.size() <= up.size() ||
           piece.find_first_not_of("0123456789.\r", up.size()) == std::string::npos;
}

bool Vocabulary::LinePrefix(const std::string& piece) const {
    size_t agreeing = AgreeingBytes(piece, 0, "");
    return agreeing >= std::min(piece.size(), kMessageStart) &&
           (piece.size() <= kMessageStart || Prefix(piece.substr(kMessageStart)));
}

LogShape ShapeOf(const std::string& raw, const Vocabulary& vocabulary) {
    LogShape shape;
    size_t start = 0;
    for (size_t end; (end = raw.find("\r\n", start)) != std::string::npos; start = end + 2) {
        std::string line = raw.substr(start, end - start);
        if (AgreeingBytes(line, 0, "") >= kMessageStart &&
            vocabulary.Whole(line.substr(kMessageStart))) {
            shape.messages.push_back(line.substr(kMessageStart));
            continue;
        }
        // A piece, then a whole line: the piece ends where a timestamp begins.
        bool glued = false;
        for (size_t k = 1; k + kMessageStart <= line.size() && !glued; ++k) {
            if (AgreeingBytes(line, k, "") >= kMessageStart &&
                vocabulary.Whole(line.substr(k + kMessageStart)) &&
                vocabulary.LinePrefix(line.substr(0, k))) {
                shape.messages.push_back(line.substr(k + kMessageStart));
                shape.glued.push_back(line.substr(k + kMessageStart));
                glued = true;
            }
        }
        if (!glued && shape.problem.empty())
            shape.problem = "not a line of the log: \"" + line.substr(0, 300) + "\"";
    }
    if (start < raw.size()) {
        shape.cutOffAtEnd = true;
        if (!vocabulary.LinePrefix(raw.substr(start)) && shape.problem.empty())
            shape.problem = "the file ends in \"" + raw.substr(start, 300) + "\"";
    }
    return shape;
}

bool StateLinesAlternate(const Lines& messages, size_t* count) {
    bool up = false;
    size_t states = 0;
    for (const std::string& message : messages) {
        if (!IsStateLine(message))
            continue;
        if (IsLogUp(message) == up)
            return false;
        up = !up;
        ++states;
    }
    if (count != nullptr)
        *count = states;
    return true;
}

} // namespace reliability
