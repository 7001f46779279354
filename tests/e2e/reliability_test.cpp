// Fault and load suite of the real Linkvigil.exe under Wine. A model of the program's
// specified behaviour predicts, change by change, every list line and every log line; the
// cases drive RAS changes through the stand-in while the disk fills, another process holds
// the log, RAS answers garbage, the button is hammered, paths get awkward and the process is
// killed, and compare what the program shows with the prediction. The CI runs are short;
// scripts/soak.sh runs the same cases long. Figures are printed as "[ FIGURES  ]" lines.
#include "app_driver.h"
#include "program_texts.h"
#include "ras_standin.h"
#include "reliability/log_oracle.h"
#include "reliability/model.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <random>
#include <set>
#include <string>
#include <vector>

using rasstub::CStandinTable;

namespace reliability {
namespace {

// --- Settings and figures ---------------------------------------------------------------------

// CI runs the defaults; scripts/soak.sh sets larger numbers.
DWORD Setting(const char* name, DWORD fallback) {
    char text[64];
    DWORD length = ::GetEnvironmentVariableA(name, text, sizeof text);
    return length == 0 || length >= sizeof text
               ? fallback
               : static_cast<DWORD>(std::strtoul(text, nullptr, 0));
}
std::string SettingText(const char* name) {
    char text[MAX_PATH];
    DWORD length = ::GetEnvironmentVariableA(name, text, sizeof text);
    return length == 0 || length >= sizeof text ? std::string() : std::string(text, length);
}

void Figure(const std::string& name, double value) {
    std::printf("[ FIGURES  ] %s: %.10g\n", name.c_str(), value);
    std::fflush(stdout);
    ::testing::Test::RecordProperty(name, std::to_string(value));
}

// Keeps changing the stand-in's table from a thread of its own until destroyed.
class CEventStorm {
public:
    explicit CEventStorm(std::function<void(CStandinTable&, DWORD)> change)
        : m_change(std::move(change)),
          m_thread(::CreateThread(nullptr, 0, &CEventStorm::Run, this, 0, nullptr)) {}
    ~CEventStorm() {
        m_stop = true;
        ::WaitForSingleObject(m_thread, INFINITE);
        ::CloseHandle(m_thread);
    }
    CEventStorm(const CEventStorm&) = delete;
    CEventStorm& operator=(const CEventStorm&) = delete;
    DWORD Changes() const { return m_changes; }

private:
    static DWORD WINAPI Run(void* self) {
        CEventStorm* storm = static_cast<CEventStorm*>(self);
        CStandinTable table;
        while (!storm->m_stop) {
            storm->m_change(table, storm->m_changes);
            ++storm->m_changes;
            ::Sleep(1);
        }
        return 0;
    }
    std::function<void(CStandinTable&, DWORD)> m_change;
    volatile bool m_stop = false;
    volatile DWORD m_changes = 0;
    HANDLE m_thread;
};

// --- The fixture ------------------------------------------------------------------------------

class Reliability : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CRasStandin::OverrideActive()) << "run under wine-run";
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE,
                        "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\aol.exe");
        ASSERT_TRUE(m_standin.Install(RasLibrary::Full));
        m_dir = MakeScratchDir(DirName());
    }
    virtual std::string DirName() {
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '_');
        return "rel_" + name;
    }

    bool Registered(const CAppUnderTest& app) {
        for (const rasstub::Registration& r : m_standin.table.GetRegistrations())
            if (r.dwProcessId == app.ProcessId())
                return true;
        return false;
    }

    // Starts a program and its model: the probe line, the start-up check, and the thread
    // registered for RAS events.
    void Launch(CAppUnderTest& app, CModel& model, const std::string& exeName = "Linkvigil.exe",
                const std::string& dir = "") {
        ASSERT_TRUE(app.Start(dir.empty() ? m_dir : dir, exeName));
        ASSERT_NE(nullptr, app.WaitForWindow());
        model.list = {kNotInstalled};
        model.log = {kNotInstalled};
        model.table.clear();
        model.enumerations = 0;
        for (const rasstub::Connection& c : m_standin.table.GetConnections())
            model.Up(rasstub::FieldText(c.szEntryName), rasstub::FieldText(c.szIpAddress),
                     c.bComplete != FALSE);
        model.Check();
        ASSERT_TRUE(WaitFor([&] { return Registered(app); }));
        ASSERT_TRUE(WaitFor([&] { return app.ListCount() >= model.list.size(); }));
        ASSERT_EQ(model.list.size(), app.ListCount());
        m_watched.push_back({&app, &model});
    }
    void Launch() { Launch(m_app, m_model); }

    void CloseAndWait(CAppUnderTest& app) {
        app.Close();
        DWORD exitCode = 1;
        ASSERT_TRUE(app.WaitForExit(20000, &exitCode)) << "the process did not end";
        EXPECT_EQ(0u, exitCode);
    }

    // Makes changes in one batch, announced by one signal, to the stand-in and the models;
    // then waits until the program has checked the new table and handled what the check
    // posted, so that every state the model expects is seen by a check and the next change
    // meets a program at rest. With several programs, every step must post to each.
    void Step(const std::function<void(CChanges&)>& make, const rasstub::Faults* faults = nullptr,
              const Lines* faultyLines = nullptr, bool faultyFound = false,
              const std::string& faultyIp = "") {
        CChanges changes{m_standin.table, {}};
        for (const Watched& w : m_watched)
            changes.models.push_back(w.model);
        DWORD serial = 0;
        {
            CStandinTable::CBatch batch(m_standin.table);
            DWORD before = batch.Changes();
            m_standin.table.SetFaults(faults != nullptr ? *faults : rasstub::Faults());
            make(changes);
            serial = batch.Changes();
            ASSERT_GT(serial, before) << "a step must change the table";
        }
        m_changes += changes.count;
        ++m_steps;
        bool projection = false;
        for (const Watched& w : m_watched) {
            size_t listed = w.model->list.size();
            if (faultyLines == nullptr) {
                projection = w.model->Check();
            } else { // the model knows no faults: the case says what the check finds
                w.model->log.insert(w.model->log.end(), faultyLines->begin(), faultyLines->end());
                w.model->Apply(faultyFound, faultyIp);
                projection = std::any_of(faultyLines->begin(), faultyLines->end(),
                                         [](const std::string& s) { return s == kAol; });
            }
            if (m_watched.size() > 1) {
                ASSERT_GT(w.model->list.size(), listed) << "with two programs, pace by posts";
            }
        }
        // A program that has ended (a crash, a trap on undefined behaviour) fails at once.
        ASSERT_TRUE(WaitFor(
            [&] {
                rasstub::Counters k = m_standin.table.GetCounters();
                return (k.dwEnumSeen >= serial && (!projection || k.dwProjectionSeen >= serial)) ||
                       !Gone().empty();
            },
            20000, 1))
            << "no check saw change " << serial;
        ASSERT_EQ("", Gone());
        for (const Watched& w : m_watched) {
            ASSERT_TRUE(WaitFor(
                [&] { return w.app->ListCount() >= w.model->list.size() || !Gone().empty(); },
                20000, 1))
                << "a list line is missing";
            ASSERT_EQ("", Gone());
            ASSERT_EQ(w.model->list.size(), w.app->ListCount()) << "a list line too many";
        }
    }

    // Which watched programs have ended, for a failure message.
    std::string Gone() {
        std::string gone;
        for (const Watched& w : m_watched) {
            DWORD exitCode = 0;
            if (::WaitForSingleObject(w.app->Process(), 0) == WAIT_OBJECT_0 &&
                ::GetExitCodeProcess(w.app->Process(), &exitCode))
                gone += "the program " + std::to_string(w.app->ProcessId()) +
                        " has ended with exit code " + std::to_string(exitCode) + "; ";
        }
        return gone;
    }

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

// --- 1. Soak: random RAS changes against the model --------------------------------------------

// One random change that the stand-in can make now: the monitored entry up (complete or with
// its projection pending), completed, down, or back with another address; other entries,
// some named like it in other letter case, coming and going.
void RandomChange(std::mt19937& rng, CChanges& changes) {
    static const char* const kOthers[] = {"Office",    "Home VPN",  "aol l2tp",    "Aol L2tp",
                                          "AOL L2TP2", "AOL L2TP ", "100% %s%n%d", "ISDN"};
    const auto& table = changes.Table();
    auto ip = [&] {
        return "10.0." + std::to_string(rng() % 4) + "." + std::to_string(1 + rng() % 254);
    };
    auto aol = std::find_if(table.begin(), table.end(),
                            [](const CModel::Entry& e) { return e.name == kAol; });
    size_t aols = std::count_if(table.begin(), table.end(),
                                [](const CModel::Entry& e) { return e.name == kAol; });
    // Half the changes concern the monitored entry, half the others.
    std::vector<std::function<void()>> choices, others;
    if (aols < 2 && table.size() < 12) {
        choices.push_back([&] { changes.Up(kAol, ip()); });
        choices.push_back([&] { changes.Up(kAol, ip(), false); });
    }
    if (aol != table.end() && !aol->complete)
        choices.push_back([&] { changes.Complete(kAol); });
    if (aol != table.end()) {
        choices.push_back([&] { changes.Down(kAol); });
        choices.push_back([&] { // a new address without a disconnection the program sees
            changes.Down(kAol);
            changes.Up(kAol, ip());
        });
    }
    if (table.size() < 6)
        others.push_back([&] { changes.Up(kOthers[rng() % 8], ip(), rng() % 4 != 0); });
    // Now and then a crowd: more entries than the first enumeration buffer holds.
    if (table.size() <= 6 && rng() % 20 == 0)
        others.push_back([&] {
            for (int i = 0; i < 6; ++i)
                changes.Up(kOthers[rng() % 8], ip());
        });
    std::vector<std::string> names;
    for (const CModel::Entry& e : table)
        if (e.name != kAol)
            names.push_back(e.name);
    if (!names.empty())
        others.push_back([&] { changes.Down(names[rng() % names.size()]); });
    const auto& from = others.empty() || (!choices.empty() && rng() % 2 == 0) ? choices : others;
    from[rng() % from.size()]();
}

TEST_F(Reliability, SoakOfRandomRasChangesLosesNothing) {
    const DWORD target = Setting("LINKVIGIL_SOAK_CHANGES", 2500);
    const DWORD seed = Setting("LINKVIGIL_SOAK_SEED", 20261208);
    SCOPED_TRACE("seed " + std::to_string(seed));
    ASSERT_NO_FATAL_FAILURE(Launch());
    std::mt19937 rng(seed);
    size_t bursts = 0;
    DWORD started = ::GetTickCount();
    while (m_changes < target) {
        // A burst: several changes inside one check, which sees only their result.
        size_t changes = rng() % 5 == 0 ? 2 + rng() % 4 : 1;
        bursts += changes > 1;
        Step([&](CChanges& c) {
            while (c.count < changes)
                RandomChange(rng, c);
        });
        if (HasFatalFailure())
            return;
    }
    DWORD elapsed = ::GetTickCount() - started;
    Lines list = m_app.ListLines();
    ASSERT_NO_FATAL_FAILURE(CloseAndWait(m_app));

    EXPECT_EQ(Sorted(m_model.list), Sorted(list)) << "lost or doubled list lines";
    LogFit fit = FitLog(ReadWholeFile(m_app.LogPath()), m_model.log);
    EXPECT_TRUE(fit.ok) << fit.problem;
    rasstub::Counters counters = m_standin.table.GetCounters();
    EXPECT_EQ(m_model.enumerations, counters.dwEnumCalls)
        << "one check at start-up and one per signal, no more, no fewer";

    Figure("soak.seed", seed);
    Figure("soak.changes_injected", static_cast<double>(m_changes));
    Figure("soak.signals", static_cast<double>(m_steps));
    Figure("soak.bursts", static_cast<double>(bursts));
    Figure("soak.checks", static_cast<double>(m_steps + 1));
    Figure("soak.enumerations", counters.dwEnumCalls);
    Figure("soak.predicted_connections", static_cast<double>(m_model.ups));
    Figure("soak.predicted_disconnections", static_cast<double>(m_model.downs));
    Figure("soak.list_lines_detected", static_cast<double>(list.size() - 1));
    Figure("soak.log_lines_predicted", static_cast<double>(m_model.log.size()));
    Figure("soak.log_lines_matched", static_cast<double>(fit.whole));
    Figure("soak.seconds", elapsed / 1000.0);
}

// --- 2. Both threads writing ------------------------------------------------------------------

TEST_F(Reliability, BothThreadsWritingKeepEveryLineWhole) {
    const DWORD toggles = Setting("LINKVIGIL_OVERLAP_TOGGLES", 100);
    const DWORD busy = 150;
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_NO_FATAL_FAILURE(Step([&](CChanges& c) {
        c.UpMany(busy, "Busy");
        c.Up("Spare", "10.7.255.1");
    }));
    // Each check now writes 152 lines on the monitor thread; the state line that the previous
    // check posted is written meanwhile on the user-interface thread. The last entry swaps
    // between the monitored one and another: a table that grew between the two enumerations
    // of one check would be read as records without names, as RAS leaves them.
    for (DWORD i = 0; i < toggles; ++i) {
        DWORD serial, calls;
        {
            CStandinTable::CBatch batch(m_standin.table);
            calls = m_standin.table.GetCounters().dwEnumCalls;
            m_standin.table.Down(i % 2 == 0 ? "Spare" : kAol);
            if (i % 2 == 0)
                m_standin.table.Up(
                    kAol,
                    ("10.7." + std::to_string(i / 256) + "." + std::to_string(i % 256)).c_str());
            else
                m_standin.table.Up("Spare", "10.7.255.1");
            serial = batch.Changes();
        }
        // The next change follows as soon as this check has read the table (both of its
        // enumerations, and the projection when the entry is listed): the next check then
        // writes its list while this one's state line is written.
        ASSERT_TRUE(WaitFor(
            [&] {
                rasstub::Counters k = m_standin.table.GetCounters();
                return k.dwEnumSeen >= serial && k.dwEnumCalls >= calls + 2 &&
                       (i % 2 != 0 || k.dwProjectionSeen >= serial);
            },
            20000, 1));
    }
    ASSERT_NO_FATAL_FAILURE(CloseAndWait(m_app));

    Vocabulary words{{kNotInstalled, kHeader, kAol, kLogDown, "Spare"}};
    Lines busyNames = Names("Busy", busy);
    words.fixed.insert(busyNames.begin(), busyNames.end());
    LogShape shape = ShapeOf(ReadWholeFile(m_app.LogPath()), words);
    ASSERT_EQ("", shape.problem);
    EXPECT_TRUE(shape.glued.empty());
    EXPECT_FALSE(shape.cutOffAtEnd);
    size_t states = 0;
    EXPECT_TRUE(StateLinesAlternate(shape.messages, &states));

    // Without the state lines, the rest is whole connection lists, one per check.
    Lines list = Concat({kHeader}, busyNames);
    size_t lists = 0, inside = 0, at = 0; // at: lines of the current list so far
    int lastToggle = -1;
    for (size_t i = 1; i < shape.messages.size(); ++i) {
        const std::string& message = shape.messages[i];
        if (IsStateLine(message)) {
            inside += at > 0;
            unsigned high = 0, low = 0;
            if (IsLogUp(message) && std::sscanf(message.c_str() + sizeof kLogUpPrefix - 1,
                                                "10.7.%u.%u", &high, &low) == 2) {
                int toggle = static_cast<int>(high * 256 + low);
                EXPECT_GT(toggle, lastToggle) << "addresses come in the order they were given";
                lastToggle = toggle;
            }
            continue;
        }
        if (at == list.size()) { // the swapping last entry ends the list
            ASSERT_TRUE(message == kAol || message == "Spare")
                << "line " << i + 1 << ": " << message;
            at = 0;
            continue;
        }
        ASSERT_EQ(list[at], message) << "line " << i + 1 << " breaks a connection list";
        lists += at == 0;
        ++at;
    }
    EXPECT_EQ(0u, at) << "the last list is cut short";
    // Two enumerations a check: the table is longer than the first buffer.
    EXPECT_EQ((m_standin.table.GetCounters().dwEnumCalls - 1) / 2, lists);
    // How often the two threads met depends on the machine's timing (a slower build, such as
    // the one trapping undefined behaviour, may never interleave them); the figure says it,
    // and the unit test of the log forces two writers at once.
    if (inside == 0)
        std::printf("[ NOTE     ] no state line landed inside a connection list in this run\n");

    Figure("overlap.checks_with_lists", static_cast<double>(lists));
    Figure("overlap.lines", static_cast<double>(shape.messages.size()));
    Figure("overlap.state_lines", static_cast<double>(states));
    Figure("overlap.state_lines_inside_a_list", static_cast<double>(inside));
}

// --- 3. Full disk -----------------------------------------------------------------------------

// Fills the disk with one file; returns the bytes it took.
double FillDisk(const std::string& path) {
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    std::vector<char> block(65536, 'F');
    double total = 0;
    // Short writes are reported as success on a full tmpfs: go on with smaller blocks.
    for (DWORD size = 65536; size > 0; size /= 2) {
        DWORD written = 0;
        while (::WriteFile(h, block.data(), size, &written, nullptr) && written == size)
            total += written;
        total += written;
    }
    ::CloseHandle(h);
    return total;
}

// Run by tests/e2e/full_disk.sh with the program's directory on a small tmpfs.
TEST_F(Reliability, FullDiskDropsLinesAndWritesAgainWhenSpaceReturns) {
    std::string dir = SettingText("LINKVIGIL_FULL_DISK_DIR");
    if (dir.empty())
        GTEST_SKIP() << "needs LINKVIGIL_FULL_DISK_DIR on a small disk (tests/e2e/full_disk.sh)";
    std::replace(dir.begin(), dir.end(), '/', '\\');
    ::DeleteFileA((dir + "\\LogFile.txt").c_str());
    ::DeleteFileA((dir + "\\filler.bin").c_str());
    m_dir = dir;
    ASSERT_NO_FATAL_FAILURE(Launch());
    // Forty entries make each check write forty-one lines.
    ASSERT_NO_FATAL_FAILURE(Step([&](CChanges& c) { c.UpMany(40, "Filler entry number "); }));
    auto flip = [&](int i) {
        Step([&](CChanges& c) {
            if (m_model.up)
                c.Down(kAol);
            else
                c.Up(kAol, "10.8.0." + std::to_string(i));
        });
    };
    for (int i = 1; i <= 3; ++i)
        ASSERT_NO_FATAL_FAILURE(flip(i));

    size_t looseBegin = m_model.log.size();
    double filled = FillDisk(dir + "\\filler.bin");
    ASSERT_GT(filled, 0);
    for (int i = 4; i <= 15; ++i) {
        ASSERT_NO_FATAL_FAILURE(flip(i));
        ASSERT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(m_app.Process(), 0));
        ASSERT_EQ(nullptr, m_app.FindMessageBox());
    }
    size_t looseEnd = m_model.log.size();
    ASSERT_TRUE(::DeleteFileA((dir + "\\filler.bin").c_str()));
    for (int i = 16; i <= 19; ++i)
        ASSERT_NO_FATAL_FAILURE(flip(i));
    EXPECT_EQ(Sorted(m_model.list), Sorted(m_app.ListLines()));
    ASSERT_NO_FATAL_FAILURE(CloseAndWait(m_app));

    LogFit fit = FitLog(ReadWholeFile(m_app.LogPath()), m_model.log, looseBegin, looseEnd);
    ASSERT_TRUE(fit.ok) << fit.problem;
    EXPECT_GT(fit.dropped, 0u) << "the disk never ran full";
    Figure("full_disk.filler_bytes", filled);
    Figure("full_disk.lines_while_full", static_cast<double>(looseEnd - looseBegin));
    Figure("full_disk.dropped", static_cast<double>(fit.dropped));
    Figure("full_disk.cut_short", static_cast<double>(fit.cut));
    Figure("full_disk.written_whole",
           static_cast<double>(looseEnd - looseBegin - fit.dropped - fit.cut));
    Figure("full_disk.lines_after_space_returned",
           static_cast<double>(m_model.log.size() - looseEnd));
}

// --- 4. The log held by another process -------------------------------------------------------

TEST_F(Reliability, LogHeldByAnotherProcessCostsThatProcessNothing) {
    // Another program holds the log for writing before ours starts: every line is lost until
    // it lets go, and nothing is shown.
    HANDLE holder = ::CreateFileA((m_dir + "\\LogFile.txt").c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                  nullptr, OPEN_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, holder);
    ASSERT_NO_FATAL_FAILURE(Launch());
    ASSERT_NO_FATAL_FAILURE(Step([](CChanges& c) { c.Up(kAol, "10.4.0.1"); }));
    EXPECT_EQ(nullptr, m_app.FindMessageBox());
    ::CloseHandle(holder);
    size_t lost = m_model.log.size();
    ASSERT_NO_FATAL_FAILURE(Step([](CChanges& c) { c.Down(kAol); }));

    // A second instance: its opens fail while the first holds the file.
    CAppUnderTest second;
    CModel secondModel;
    ASSERT_NO_FATAL_FAILURE(Launch(second, secondModel, "Linkvigil2.exe"));
    HANDLE writer =
        ::CreateFileA(m_app.LogPath().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    DWORD error = ::GetLastError();
    EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), error);
    HANDLE reader =
        ::CreateFileA(m_app.LogPath().c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    std::string seen;
    auto readNew = [&] {
        char buffer[65536];
        DWORD read = 0;
        while (::ReadFile(reader, buffer, sizeof buffer, &read, nullptr) && read > 0)
            seen.append(buffer, read);
    };
    for (int i = 0; i < 6; ++i) {
        ASSERT_NO_FATAL_FAILURE(Step([&](CChanges& c) {
            c.Up("Other " + std::to_string(i), "10.4.1.1");
            if (m_model.up)
                c.Down(kAol);
            else
                c.Up(kAol, "10.4.0." + std::to_string(i + 2));
        }));
        // The state line was flushed before the list line appeared: a reader has it now.
        readNew();
        std::string expected = m_model.log.back() + "\r\n";
        EXPECT_TRUE(seen.size() >= expected.size() &&
                    seen.compare(seen.size() - expected.size(), expected.size(), expected) == 0)
            << "the reader does not see \"" << m_model.log.back() << "\" yet";
        EXPECT_EQ(nullptr, m_app.FindMessageBox());
        EXPECT_EQ(nullptr, second.FindMessageBox());
    }
    ::CloseHandle(reader);
    EXPECT_EQ(Sorted(secondModel.list), Sorted(second.ListLines()));
    ASSERT_NO_FATAL_FAILURE(CloseAndWait(second));
    ASSERT_NO_FATAL_FAILURE(CloseAndWait(m_app));

    LogFit fit = FitLog(ReadWholeFile(m_app.LogPath()), m_model.log, 0, lost);
    ASSERT_TRUE(fit.ok) << fit.problem;
    EXPECT_EQ(lost, fit.dropped) << "nothing reaches a log that another process holds";
    Figure("held.lines_lost_while_held", static_cast<double>(lost));
    Figure("held.lines_written_with_a_second_instance", static_cast<double>(fit.whole));
}

// --- 5. Hostile RAS data ----------------------------------------------------------------------

// Faults of the stand-in for the table below.
rasstub::Faults Count(DWORD count) {
    rasstub::Faults f = {};
    f.bCount = TRUE;
    f.dwCount = count;
    return f;
}
rasstub::Faults EnumError(DWORD error, DWORD size = 0) {
    rasstub::Faults f = {};
    f.dwEnumError = error;
    f.bEnumSize = size != 0;
    f.dwEnumSize = size;
    return f;
}
rasstub::Faults EnumErrorAndCount(DWORD error, DWORD count) {
    rasstub::Faults f = Count(count);
    f.dwEnumError = error;
    return f;
}
rasstub::Faults ProjectionError(DWORD error) {
    rasstub::Faults f = {};
    f.dwProjectionError = error;
    return f;
}
rasstub::Faults GrowBy(DWORD count) {
    rasstub::Faults f = {};
    f.dwGrowBy = count;
    return f;
}

TEST_F(Reliability, HostileRasDataIsReadWithinBoundsAndDecidesAsTheRulesSay) {
    using Connections = std::vector<std::pair<std::string, std::string>>;
    const Lines none;
    const std::string longName(300, 'N');
    struct Case {
        const char* what;
        bool upBefore;
        rasstub::Faults faults;
        DWORD many; // Conn1, Conn2, ... first
        Connections connections;
        Lines lines; // what the check writes when a fault is on; else the model says
        bool found;
        const char* ip;
    } cases[] = {
        // clang-format off
        {"count larger than the records", true, Count(4), 0,
         {{"Office", "10.3.1.1"}}, {kHeader, "Office", "", "", ""}, false, ""},
        {"count beyond the buffer (ten records)", false, Count(0xFFFFFFFF), 0,
         {{"Office", "10.3.1.1"}, {kAol, "10.3.1.2"}}, {kHeader, "Office", kAol}, true, "10.3.1.2"},
        {"count beyond the buffer, no match", true, Count(1000000), 0,
         {{"Office", "10.3.1.1"}, {"Home", "10.3.1.2"}},
         Concat({kHeader, "Office", "Home"}, Lines(8, "")), false, ""},
        {"size smaller than a record", true, EnumError(603, 100), 0,
         {{kAol, "10.3.2.1"}}, none, false, ""},
        {"size of one record and a byte, every time", false, EnumError(603, sizeof(RASCONN) + 1), 0,
         {{kAol, "10.3.2.2"}, {"Office", "10.3.1.1"}}, none, false, ""},
        {"huge size", true, EnumError(603, 0xFFFFFFF0), 0,
         {{kAol, "10.3.2.3"}}, none, false, ""},
        {"out of memory, size of twenty records, every time", true, EnumError(8, 20 * sizeof(RASCONN)), 0,
         {{kAol, "10.3.2.4"}, {"Office", "10.3.1.1"}}, none, false, ""},
        {"error 5 with a count", true, EnumErrorAndCount(5, 2), 0,
         {{kAol, "10.3.3.1"}}, {kHeader, "", ""}, false, ""},
        {"error 632 with a count", true, EnumErrorAndCount(632, 1), 0,
         {{kAol, "10.3.3.2"}}, {kHeader, ""}, false, ""},
        {"error 0xFFFFFFFF", true, EnumError(0xFFFFFFFF), 0,
         {{kAol, "10.3.3.3"}}, none, false, ""},
        {"projection error 633 while down", false, ProjectionError(633), 0,
         {{kAol, "10.3.4.1"}}, {kHeader, kAol}, false, ""},
        {"projection error 5 while up", true, ProjectionError(5), 0,
         {{kAol, "10.3.4.2"}}, {kHeader, kAol}, false, ""},
        {"entry name without a NUL", false, {}, 0,
         {{longName, "10.3.5.1"}, {kAol, "10.3.5.2"}}, none, false, ""},
        {"address without a NUL", false, {}, 0,
         {{kAol, "123.123.123.1234567"}}, none, false, ""},
        {"four thousand connections", false, {}, 4000,
         {{kAol, "10.3.6.1"}}, none, false, ""},
        // A table that grows while the buffer is enlarged is asked again: the connection
        // that is still there is still found.
        {"table grows between the two enumerations", true, GrowBy(1), 10,
         {{kAol, "10.3.7.1"}}, Concat(Concat({kHeader}, Names("Conn", 10)), {kAol}), true,
         "10.3.7.1"},
        {"three thousand connections, a count of five thousand", true, Count(5000), 3000,
         {}, Concat({kHeader}, Names("Conn", 3000)), false, ""},
        // clang-format on
    };
    ASSERT_NO_FATAL_FAILURE(Launch());
    size_t hostile = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_NO_FATAL_FAILURE(Step([&](CChanges& changes) {
            changes.DownAll();
            changes.Up(c.upBefore ? kAol : "Idle", "10.3.0.1");
        }));
        ASSERT_EQ(c.upBefore, m_model.up);
        bool faulty = c.faults.dwEnumError != 0 || c.faults.bCount ||
                      c.faults.dwProjectionError != 0 || c.faults.dwGrowBy != 0;
        ASSERT_NO_FATAL_FAILURE(Step(
            [&](CChanges& changes) {
                changes.DownAll();
                if (c.many != 0)
                    changes.UpMany(c.many, "Conn");
                for (const auto& connection : c.connections)
                    changes.Up(connection.first, connection.second);
            },
            &c.faults, faulty ? &c.lines : nullptr, c.found, c.ip));
        ++hostile;
        ASSERT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(m_app.Process(), 0));
        ASSERT_EQ(nullptr, m_app.FindMessageBox());
    }
    EXPECT_EQ(Sorted(m_model.list), Sorted(m_app.ListLines()));
    ASSERT_NO_FATAL_FAILURE(CloseAndWait(m_app));
    // Reading past a field would show: the stand-in puts "vpn" right after every entry
    // name and "192.0.2.1" after every address.
    LogFit fit = FitLog(ReadWholeFile(m_app.LogPath()), m_model.log);
    EXPECT_TRUE(fit.ok) << fit.problem;
    Figure("hostile.cases", static_cast<double>(hostile));
    Figure("hostile.log_lines_matched", static_cast<double>(fit.whole));
}

// --- 6. Start and Stop under load; closing mid-check and mid-delay ----------------------------

TEST_F(Reliability, StartStopStormLeavesNoThreadOrHandleBehind) {
    const DWORD presses = Setting("LINKVIGIL_PRESSES", 1000) & ~1u;
    ASSERT_NO_FATAL_FAILURE(Launch());
    for (int i = 0; i < 10; ++i) // the first cycles may set up what stays for good
        m_app.PressButton();
    ASSERT_EQ(kStop, m_app.ButtonCaption());
    ASSERT_TRUE(WaitFor([&] { return Registered(m_app); }));
    size_t handles = m_app.HandleCount(), threads = m_app.ThreadCount();
    ASSERT_GT(handles, 0u);

    DWORD started = ::GetTickCount(), events = 0;
    {
        CEventStorm storm([](CStandinTable& table, DWORD i) {
            if (i % 2 == 0)
                table.Up(i % 4 == 0 ? kAol : "Other", "10.6.0.1");
            else
                table.Down(i % 4 == 1 ? kAol : "Other");
        });
        for (DWORD i = 1; i <= presses; ++i) {
            m_app.PressButton();
            ASSERT_EQ(i % 2 == 1 ? kStart : kStop, m_app.ButtonCaption()) << "press " << i;
        }
        events = storm.Changes();
    }
    DWORD elapsed = ::GetTickCount() - started;
    ASSERT_TRUE(WaitFor([&] { return Registered(m_app); }));
    EXPECT_EQ(1u, m_standin.table.GetRegistrations().size()) << "registrations left behind";
    EXPECT_TRUE(WaitFor([&] { return m_app.HandleCount() == handles; }))
        << "handles before " << handles << ", after " << m_app.HandleCount();
    EXPECT_TRUE(WaitFor([&] { return m_app.ThreadCount() == threads; }))
        << "threads before " << threads << ", after " << m_app.ThreadCount();
    size_t handlesAfter = m_app.HandleCount(), threadsAfter = m_app.ThreadCount();

    // Still watching: a change made now is reported. The storm may have left messages in the
    // program's queue, and a check that ran before one of them was handled saw the old state
    // (as specified, a quick up, down, up can leave the state up with the new address
    // unnoticed). So first let every queued message be handled: presses posted behind them
    // stop and restart monitoring, and no check runs in between. Then the state is the last
    // state line of the log, and each change below is made only once the one before was
    // handled.
    auto postPress = [&] {
        HWND button = ::GetDlgItem(m_app.Window(), 1000);
        ::PostMessageA(m_app.Window(), WM_COMMAND, MAKEWPARAM(1000, BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
    };
    postPress();
    ASSERT_TRUE(m_app.WaitForCaption(kStart));
    postPress();
    ASSERT_TRUE(m_app.WaitForCaption(kStop));
    ASSERT_TRUE(WaitFor([&] { return Registered(m_app); }));
    auto lastState = [&] {
        Lines messages = LogMessages(m_app.LogPath());
        for (auto it = messages.rbegin(); it != messages.rend(); ++it)
            if (IsStateLine(*it))
                return *it;
        return std::string(kLogDown);
    };
    // A change, so that a check reads a table without the connection.
    m_standin.table.DownAll();
    m_standin.table.Up("Nudge", "10.6.9.8");
    DWORD emptied = m_standin.table.GetCounters().dwChanges;
    ASSERT_TRUE(WaitFor([&] { return m_standin.table.GetCounters().dwEnumSeen >= emptied; }));
    ASSERT_TRUE(WaitFor([&] { return lastState() == kLogDown; })) << lastState();
    m_standin.table.Up(kAol, "10.6.9.9");
    EXPECT_TRUE(WaitFor([&] {
        Lines list = m_app.ListLines();
        return std::find(list.begin(), list.end(), ListUp("10.6.9.9")) != list.end();
    }));
    ASSERT_NO_FATAL_FAILURE(CloseAndWait(m_app));

    Vocabulary words{{kNotInstalled, kHeader, kAol, kLogDown, "Other", "Nudge"}};
    LogShape shape = ShapeOf(ReadWholeFile(m_app.LogPath()), words);
    EXPECT_EQ("", shape.problem);
    EXPECT_TRUE(shape.glued.empty() && !shape.cutOffAtEnd);
    EXPECT_TRUE(StateLinesAlternate(shape.messages));
    Figure("storm.presses", presses);
    Figure("storm.events_injected", events);
    Figure("storm.checks", m_standin.table.GetCounters().dwEnumCalls);
    Figure("storm.seconds", elapsed / 1000.0);
    Figure("storm.handles_before", static_cast<double>(handles));
    Figure("storm.handles_after", static_cast<double>(handlesAfter));
    Figure("storm.threads_before", static_cast<double>(threads));
    Figure("storm.threads_after", static_cast<double>(threadsAfter));
}

TEST_F(Reliability, ClosedDuringACheckOrA9xSettleDelayTheProcessEnds) {
    struct Case {
        const char* what;
        const char* exeName;
        bool windows9x;
    } cases[] = {{"during a check", "Linkvigil.exe", false},
                 {"during the settle delay of Windows 9x", "Linkvigil9x.exe", true}};
    const std::string appDefaults = "Software\\Wine\\AppDefaults\\Linkvigil9x.exe";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_standin.table.DownAll();
        HKEY key = nullptr;
        if (c.windows9x) { // Wine shows this one program Windows 98
            ASSERT_EQ(ERROR_SUCCESS,
                      ::RegCreateKeyExA(HKEY_CURRENT_USER, appDefaults.c_str(), 0, nullptr, 0,
                                        KEY_WRITE, nullptr, &key, nullptr));
            ::RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
            ::RegCloseKey(key);
        }
        struct Cleanup {
            std::string key;
            ~Cleanup() {
                if (!key.empty())
                    ::RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str());
            }
        } cleanup{c.windows9x ? appDefaults : ""};
        m_dir = MakeScratchDir(std::string("rel_close_") + (c.windows9x ? "9x" : "nt"));
        CAppUnderTest app;
        ASSERT_TRUE(app.Start(m_dir, c.exeName));
        ASSERT_NE(nullptr, app.WaitForWindow());
        ASSERT_TRUE(WaitFor([&] { return Registered(app); }));
        DWORD checks = m_standin.table.GetCounters().dwEnumCalls;
        LARGE_INTEGER closing = {}, frequency = {};
        ::QueryPerformanceFrequency(&frequency);
        if (c.windows9x) {
            m_standin.table.Up(kAol, "10.5.5.5");
            ::QueryPerformanceCounter(&closing);
            app.Close();
        } else { // the check waits inside its enumeration while the window closes
            CStandinTable::CLock hold(m_standin.table);
            LONG entered = hold->counters.lEnumEntered;
            m_standin.table.Up(kAol, "10.5.5.5");
            ASSERT_TRUE(WaitFor([&] { return hold->counters.lEnumEntered > entered; }));
            app.Close();
            ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(app.Window()); }));
        }
        DWORD exitCode = 1;
        ASSERT_TRUE(app.WaitForExit(20000, &exitCode)) << "deadlock";
        EXPECT_EQ(0u, exitCode);
        rasstub::Counters counters = m_standin.table.GetCounters();
        EXPECT_EQ(checks + 1, counters.dwEnumCalls) << "the check ran to its end, once";
        EXPECT_FALSE(Registered(app));
        // The check's lines are written before the log closes; the UP it posted to the
        // window that was going away is never handled.
        EXPECT_EQ((Lines{kNotInstalled, kHeader, kAol}), LogMessages(app.LogPath()));
        if (c.windows9x) {
            double delay = static_cast<double>(counters.llLastEnumQpc - counters.llLastSignalQpc) /
                           static_cast<double>(frequency.QuadPart);
            EXPECT_GE(delay, 2.5) << "no settle delay: Wine did not show Windows 98";
            EXPECT_LT(closing.QuadPart, counters.llLastEnumQpc) << "closed after the delay";
            Figure("close.settle_delay_seconds", delay);
        }
    }
}

// --- 7. Paths ---------------------------------------------------------------------------------

// The executable L.exe in a directory of this many characters: from 248 on, "LogFile.txt"
// no longer fits behind it in MAX_PATH (259 characters and the NUL).
class ReliabilityPath : public Reliability, public ::testing::WithParamInterface<size_t> {};

TEST_P(ReliabilityPath, LogOnlyWhereItsPathFitsInMaxPath) {
    const size_t length = GetParam();
    std::string dir = m_dir;
    if (dir.size() + 2 > length)
        GTEST_SKIP() << "the scratch folder's path is already too long";
    while (dir.size() < length) {
        size_t part = std::min<size_t>(length - dir.size() - 1, 100);
        dir += "\\" + std::string(part, 'd');
        ASSERT_TRUE(::CreateDirectoryA(dir.c_str(), nullptr)) << dir;
    }
    ASSERT_EQ(length, dir.size());
    std::string cwd = MakeScratchDir(DirName() + "_cwd");
    ASSERT_TRUE(m_app.Start(dir, "L.exe", cwd));
    ASSERT_NE(nullptr, m_app.WaitForWindow());
    ASSERT_TRUE(WaitFor([&] { return Registered(m_app); }));
    m_model.list = m_model.log = {kNotInstalled};
    m_watched.push_back({&m_app, &m_model});
    ASSERT_NO_FATAL_FAILURE(Step([](CChanges& c) { c.Up(kAol, "10.2.0.1"); }));
    ASSERT_NO_FATAL_FAILURE(Step([](CChanges& c) { c.Down(kAol); }));
    ASSERT_NO_FATAL_FAILURE(CloseAndWait(m_app));

    bool fits = length + 12 <= MAX_PATH - 1;
    std::string log = dir + "\\LogFile.txt";
    if (fits) {
        EXPECT_TRUE(FitLog(ReadWholeFile(log), m_model.log).ok);
    } else {
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(log.c_str()));
    }
    // Nothing anywhere else: not a cut name beside the program, not in the working folder.
    WIN32_FIND_DATAA data;
    size_t files = 0;
    for (const std::string& where : {dir, cwd}) {
        HANDLE find = ::FindFirstFileA((where + "\\*").c_str(), &data);
        for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileA(find, &data))
            files += (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
        ::FindClose(find);
    }
    EXPECT_EQ(fits ? 2u : 1u, files);
}

INSTANTIATE_TEST_SUITE_P(DirectoryLength, ReliabilityPath, ::testing::Values(247, 248));

// Run by CTest under a double-byte code page (LC_ALL=ja_JP.UTF-8 gives Wine code page 932),
// where "\x95\x5C" is one character whose trail byte is a backslash.
TEST_F(Reliability, DoubleByteDirectoryKeepsTheLogBesideTheExecutable) {
    if (::GetACP() != 932)
        GTEST_SKIP() << "needs code page 932 (CTest runs this case with LC_ALL=ja_JP.UTF-8)";
    for (const char* exeName : {"Linkvigil.exe", "\x95\x5C.exe"}) {
        SCOPED_TRACE(exeName);
        std::string dir =
            MakeScratchDir(std::string("rel_dbcs_\x95\x5C_") + (exeName[0] == 'L' ? "a" : "b"));
        CAppUnderTest app;
        CModel model;
        m_watched.clear();
        ASSERT_NO_FATAL_FAILURE(Launch(app, model, exeName, dir));
        ASSERT_NO_FATAL_FAILURE(Step([](CChanges& c) { c.Up(kAol, "10.1.0.1"); }));
        ASSERT_NO_FATAL_FAILURE(Step([](CChanges& c) { c.DownAll(); }));
        ASSERT_NO_FATAL_FAILURE(CloseAndWait(app));
        LogFit fit = FitLog(ReadWholeFile(dir + "\\LogFile.txt"), model.log);
        EXPECT_TRUE(fit.ok) << fit.problem;
        WIN32_FIND_DATAA data;
        Lines files;
        HANDLE find = ::FindFirstFileA((dir + "\\*").c_str(), &data);
        for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileA(find, &data))
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                files.push_back(data.cFileName);
        ::FindClose(find);
        EXPECT_EQ(Sorted(Lines{exeName, "LogFile.txt"}), Sorted(files));
    }
}

// --- 8. Killed while writing ------------------------------------------------------------------

TEST_F(Reliability, KilledWhileWritingLeavesWholeLinesAndTheNextStartAppends) {
    const DWORD kills = Setting("LINKVIGIL_KILLS", 8);
    const DWORD seed = Setting("LINKVIGIL_SOAK_SEED", 20261208);
    m_standin.table.UpMany(100, "Busy");
    m_standin.table.Up("Flip", "10.9.9.9");
    Vocabulary words{{kNotInstalled, kHeader, "Flip", "Flop"}};
    Lines busy = Names("Busy", 100);
    words.fixed.insert(busy.begin(), busy.end());
    // A change every millisecond or two: the monitor thread writes lists without a pause.
    // The table keeps its length, so both enumerations of a check agree.
    CEventStorm storm([](CStandinTable& table, DWORD i) {
        CStandinTable::CBatch batch(table);
        table.Down(i % 2 == 0 ? "Flip" : "Flop");
        table.Up(i % 2 == 0 ? "Flop" : "Flip", "10.9.9.9");
    });
    std::mt19937 rng(seed);
    // Each start is judged by what it added, read from the start of the last line before it:
    // the piece of a line cut off by the previous kill, which must still be there.
    size_t lineStart = 0, lines = 0, cutOff = 0, glued = 0;
    std::string piece;
    auto judge = [&](const std::string& added) {
        ASSERT_EQ(piece, added.substr(0, piece.size())) << "a start changed what was there";
        LogShape shape = ShapeOf(added, words);
        ASSERT_EQ("", shape.problem);
        // A start appends right after a line cut off by the previous kill.
        ASSERT_LE(shape.glued.size(), piece.empty() ? 0u : 1u);
        if (!shape.glued.empty()) {
            EXPECT_EQ(kNotInstalled, shape.glued.front());
        }
        glued += shape.glued.size();
        cutOff += shape.cutOffAtEnd;
        lines += shape.messages.size();
        size_t lastEnd = added.rfind("\r\n");
        size_t next = lastEnd == std::string::npos ? 0 : lastEnd + 2;
        piece = added.substr(next);
        lineStart += next;
    };
    for (DWORD k = 1; k <= kills; ++k) {
        SCOPED_TRACE("kill " + std::to_string(k));
        CAppUnderTest app;
        ASSERT_TRUE(app.Start(m_dir));
        ASSERT_TRUE(WaitFor([&] { return FileSize(app.LogPath()) > lineStart + 8192; }));
        ::Sleep(rng() % 100); // a moment chosen at random while lists are being written
        app.Kill();
        ASSERT_NO_FATAL_FAILURE(judge(ReadFileFrom(app.LogPath(), lineStart)));
    }
    CAppUnderTest last;
    ASSERT_TRUE(last.Start(m_dir));
    ASSERT_NE(nullptr, last.WaitForWindow());
    ASSERT_NO_FATAL_FAILURE(CloseAndWait(last));
    ASSERT_NO_FATAL_FAILURE(judge(ReadFileFrom(last.LogPath(), lineStart)));
    EXPECT_TRUE(piece.empty()) << "a closed program leaves no line cut off";
    EXPECT_EQ(cutOff, glued) << "each cut-off line is followed by a start";
    Figure("kill.kills", kills);
    Figure("kill.cut_off_last_lines", static_cast<double>(cutOff));
    Figure("kill.whole_lines", static_cast<double>(lines));
    Figure("kill.log_bytes", static_cast<double>(lineStart));
}

} // namespace
} // namespace reliability
