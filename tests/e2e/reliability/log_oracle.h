// Reading the log back. Every reliability case is decided here, so the readers have a test of
// their own on logs made by hand (log_oracle_test.cpp).
//
// A log line is "dd/dd/dd dd:dd:dd message" and CR LF. FitLog holds a file to the messages
// the model predicts, in order; where the order cannot be predicted (two threads racing,
// kills), ShapeOf splits a file into lines of known messages and pieces of lines.
#pragma once

#include "log_text.h"
#include "model.h"

#include <set>
#include <string>

namespace reliability {

// A whole line of this message, with its timestamp and CR LF.
inline size_t LineLength(const std::string& message) {
    return kMessageStart + message.size() + 2;
}

// How many bytes from pos on agree with a line of this message (LineLength when all do).
size_t AgreeingBytes(const std::string& raw, size_t pos, const std::string& message);

// What became of one predicted line in a log.
enum class LineFate {
    Whole,
    Cut,     // a piece of it, and the next line right after the piece
    Dropped, // not there at all
};

struct LogFit {
    bool ok = false;
    size_t whole = 0, dropped = 0, cut = 0;
    std::string problem; // where the file departs from the prediction, when not ok
};

// Fits a log file to the predicted messages: each must be there whole and in order, and
// nothing else may be. Those with an index in [looseBegin, looseEnd) may instead be missing
// or cut short (the next line then follows the piece), as the log's rules allow for lines
// that could not be written.
LogFit FitLog(const std::string& raw, const Lines& predicted, size_t looseBegin = 0,
              size_t looseEnd = 0);

// The messages a log may hold where the order cannot be predicted: these, and any
// connection line.
struct Vocabulary {
    std::set<std::string> fixed;

    bool Whole(const std::string& message) const;
    // A line cut short: its message part is the start of a message plus CR.
    bool Prefix(const std::string& piece) const;
    // The start of a line: a piece of a timestamp, or a whole one and Prefix.
    bool LinePrefix(const std::string& piece) const;
};

struct LogShape {
    Lines messages;           // every whole line's message, in order
    Lines glued;              // whole lines that follow a cut-off piece on one text line
    bool cutOffAtEnd = false; // the file ends inside a line
    std::string problem;      // the first line that is neither
};

// Splits a log into whole lines, pieces of lines cut off and followed by the next line on
// the same text line, and a cut-off end.
LogShape ShapeOf(const std::string& raw, const Vocabulary& vocabulary);

// State lines alternate, starting with a connection: SetConnected and SetDisconnected act
// only on a change. count, when given, receives how many state lines there are.
bool StateLinesAlternate(const Lines& messages, size_t* count = nullptr);

} // namespace reliability
