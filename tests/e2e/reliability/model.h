// The model of the reliability suite: the stand-in's connection table and what the program
// must show and log for it, check by check. The fixture (fixture.h) keeps one model per
// program it runs, and the log readers (log_oracle.h) hold the log to what the model says.
#pragma once

#include "program_texts.h"
#include "ras_standin.h"

#include <windows.h>

#include <string>
#include <vector>

namespace reliability {

using Lines = std::vector<std::string>;

// --- What the program writes ------------------------------------------------------------------

inline bool IsLogUp(const std::string& message) {
    return message.rfind(kLogUpPrefix, 0) == 0 && message.back() == '.';
}
inline bool IsStateLine(const std::string& message) {
    return message == kLogDown || IsLogUp(message);
}

// --- The model --------------------------------------------------------------------------------

// The stand-in's table and what the program must make of it. A check here also covers the
// handling of what it posts, so the driver lets the program handle that before the next
// change (Reliability::Step).
class CModel {
public:
    struct Entry {
        std::string name, ip;
        bool complete;
    };

    // Each as the stand-in makes it: fields keep at most their size, without a NUL then.
    void Up(const std::string& name, const std::string& ip, bool complete);
    // Entries prefix1, prefix2, ... with addresses 10.x.y.z counting up from 10.0.0.1.
    void UpMany(DWORD count, const std::string& prefix);
    void Complete(const std::string& name);
    void Down(const std::string& name);
    std::vector<Entry>::iterator Find(const std::string& name);

    // The entry names the program matches: case-insensitive in the ASCII letters only.
    static bool IsMonitored(const std::string& name);

    // One check: the connection list up to the first monitored entry, whose projection
    // decides. Returns TRUE when the check queries a projection.
    bool Check();
    // The state change that a check with this outcome brings, with its lines.
    void Apply(bool found, const std::string& address);

    std::vector<Entry> table;
    bool up = false;
    Lines list, log;
    size_t ups = 0, downs = 0, enumerations = 0;
};

// Changes made to the stand-in and to every model at once.
struct CChanges {
    rasstub::CStandinTable& table;
    std::vector<CModel*> models;
    size_t count = 0;

    const std::vector<CModel::Entry>& Table() const { return models.front()->table; }
    void Up(const std::string& name, const std::string& ip, bool complete = true);
    void UpMany(DWORD n, const std::string& prefix);
    void Complete(const std::string& name);
    void Down(const std::string& name);
    void DownAll();
};

// --- Lines to compare -------------------------------------------------------------------------

// The list box sorts its lines: lists are compared as multisets.
Lines Sorted(Lines lines);
// prefix1, prefix2, ... prefix<count>, as UpMany names entries.
Lines Names(const std::string& prefix, DWORD count);
Lines Concat(Lines a, const Lines& b);

} // namespace reliability
