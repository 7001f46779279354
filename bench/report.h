// The figures of one benchmark run, printed as one table with notes under it.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace bench {

struct Row {
    std::string figure;
    std::string linkvigil;   // the program's figure
    std::string alternative; // the natural alternative's, or empty
    std::string ratio;       // program / alternative, or empty
    std::string goal;
    std::string verdict; // "met", "missed" or empty where no goal applies
};

struct Options {
    DWORD idleSeconds = 60;
    unsigned notifyEvents = 10000; // also the footprint's event count
    unsigned latencySample = 300;  // the headline latency: the first, spaced events
    unsigned pollEvents = 31;
    unsigned startupRuns = 15;
    unsigned logLines = 5000;
    unsigned logRounds = 7;
    // How the driver looks for the new list line: "spin", "yield" or "sleep" (1 ms).
    std::string detect = "yield";
};

class CReport {
public:
    void Add(const Row& row) { m_rows.push_back(row); }
    void Note(const std::string& text) {
        m_notes.push_back(text);
        std::fprintf(stderr, "  %s\n", text.c_str());
    }
    // A step that could not be measured: the run goes on, and the table says so.
    void Fail(const std::string& figure, const std::string& why) {
        Add({figure, "not measured", "", "", "", ""});
        Note(figure + ": " + why);
        m_bFailed = true;
    }
    bool Failed() const { return m_bFailed; }

    // Rows in the order of their figure numbers, whatever order they were measured in.
    void Print(FILE* out) const {
        std::vector<Row> rows = m_rows;
        std::stable_sort(rows.begin(), rows.end(),
                         [](const Row& a, const Row& b) { return a.figure[0] < b.figure[0]; });
        std::fprintf(out, "| Figure | Linkvigil | Alternative | Ratio | Goal | |\n");
        std::fprintf(out, "|---|---|---|---|---|---|\n");
        for (const Row& row : rows)
            std::fprintf(out, "| %s | %s | %s | %s | %s | %s |\n", row.figure.c_str(),
                         row.linkvigil.c_str(), row.alternative.c_str(), row.ratio.c_str(),
                         row.goal.c_str(), row.verdict.c_str());
        std::fprintf(out, "\n");
        for (const std::string& note : m_notes)
            std::fprintf(out, "- %s\n", note.c_str());
    }

private:
    std::vector<Row> m_rows;
    std::vector<std::string> m_notes;
    bool m_bFailed = false;
};

inline const char* Verdict(bool met) {
    return met ? "met" : "missed";
}

} // namespace bench
