// Fault and load suite of the real Linkvigil.exe under Wine (docs/RELIABILITY.md). A model of
// the program's behaviour (model.h) predicts, change by change, every list line and every log
// line; the cases drive RAS changes through the stand-in while the disk fills, another process
// holds the log, RAS answers garbage, the button is hammered, paths get awkward and the
// process is killed, and compare what the program shows with the prediction (log_oracle.h).
// The CI runs are short; scripts/soak.sh runs the same cases long. Figures are printed as
// "[ FIGURES  ]" lines.
//
// This is the harness that every case file of the folder shares.
#pragma once

#include "app_driver.h"
#include "model.h"
#include "ras_standin.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace reliability {

// --- Settings and figures ---------------------------------------------------------------------

// CI runs the defaults; scripts/soak.sh sets larger numbers.
DWORD Setting(const char* name, DWORD fallback);
std::string SettingText(const char* name);

void Figure(const std::string& name, double value);

// --- The fixture ------------------------------------------------------------------------------

// A step under faults of the stand-in. The model knows no faults: while one changes what a
// check reads (AltersChecks), the step says what the check writes and decides instead.
struct StepFaults {
    rasstub::Faults faults = {};
    Lines lines = {};    // what the check writes
    bool found = false;  // whether it finds the monitored connection up
    std::string ip = {}; // at this address
};

// Faults that change what a check reads: enumeration and projection answers.
bool AltersChecks(const rasstub::Faults& faults);

class Reliability : public ::testing::Test {
protected:
    void SetUp() override;
    // The case's scratch folder, named after the test.
    virtual std::string DirName();

    // The program has registered its event with the stand-in and made the look that follows:
    // it has seen the table, and every change from now on reaches it as a signal.
    bool Watching(const CAppUnderTest& app);

    // Starts a program and its model: the probe line, the start-up check, and the thread
    // registered for RAS events.
    void Launch(CAppUnderTest& app, CModel& model, const std::string& exeName = "Linkvigil.exe",
                const std::string& dir = "");
    void Launch() { Launch(m_app, m_model); }

    void CloseAndWait(CAppUnderTest& app);
    // Runs exeName in dir, the only program watched, through a connection up at ip and down,
    // closes it, and holds the log beside it to its model's.
    void UpDownAndClose(const std::string& exeName, const std::string& dir, const char* ip);

    // Makes changes in one batch, announced by one signal, to the stand-in and the models;
    // then waits until the program has checked the new table and handled what the check
    // posted, so that every state the model expects is seen by a check and the next change
    // meets a program at rest. With several programs, every step must post to each.
    void Step(const std::function<void(CChanges&)>& make, const StepFaults& faulty = {});

    // Which watched programs have ended, for a failure message.
    std::string Gone();

    struct Watched {
        CAppUnderTest* app;
        CModel* model;
    };

    CRasStandin m_standin;
    CAppUnderTest m_app;
    CModel m_model;
    std::vector<Watched> m_watched;
    std::string m_dir;
    size_t m_changes = 0, m_steps = 0;
};

// --- The event storm --------------------------------------------------------------------------

// Keeps changing the stand-in's table from a thread of its own until destroyed, a change every
// millisecond or so. Paced by steps that the test counts, it keeps no more than perStep changes
// ahead of them: a slow machine (say, one that runs the program under emulation) then gets as
// many changes per step as a fast one, instead of as many per second.
class CEventStorm {
public:
    explicit CEventStorm(std::function<void(rasstub::CStandinTable&, DWORD)> change,
                         const volatile LONG* steps = nullptr, DWORD perStep = 0);
    ~CEventStorm();
    CEventStorm(const CEventStorm&) = delete;
    CEventStorm& operator=(const CEventStorm&) = delete;
    DWORD Changes() const { return m_changes; }

private:
    static DWORD WINAPI Run(void* self);

    std::function<void(rasstub::CStandinTable&, DWORD)> m_change;
    const volatile LONG* m_steps;
    DWORD m_perStep;
    volatile bool m_stop = false;
    volatile DWORD m_changes = 0;
    HANDLE m_thread;
};

} // namespace reliability
