// Out of memory at every allocation of the program's paths: start-up, a connection coming up,
// going down, Stop, Start and close. The program is the build of tests/faults, in which the
// allocation whose number this test sets fails: that one alone, or (a shortage that lasts)
// that one and every one after it until the path ends. For each allocation of a path: no
// crash, no hang, no more message boxes than owed (the standard "Out of memory." box, or the
// thread message when the thread could not be had), every log line whole and true, and the
// program fully working again afterwards.
#include "alloc_faults.h"
#include "app/resource.h"
#include "app_driver.h"
#include "program_texts.h"
#include "ras_standin.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

const char kOutOfMemory[] = "Out of memory.";
const char kThreadFailed[] =
    "Could not create a thread for the detection of connections and disconnections. You will "
    "have to use the Connect and Disconnect options from the Vantoria menu.";
const char kFirstIp[] = "10.0.0.7";
const char kRecoveryIp[] = "10.9.9.9";

// How long memory stays short once the armed allocation fails.
enum class Shortage { OneAllocation, UntilThePathEnds };

// The paths, in the order one run takes them, with their names for messages.
enum class Path { Startup, Up, OtherChange, Stop, Start, Down, Close };
const struct {
    Path path;
    const char* name;
} kPaths[] = {{Path::Startup, "start-up"},
              {Path::Up, "connection up"},
              {Path::OtherChange, "another connection while up"},
              {Path::Stop, "Stop"},
              {Path::Start, "Start"},
              {Path::Down, "connection down"},
              {Path::Close, "close"}};

// The shared control block, named for this process and run.
class CFaultControl {
public:
    CFaultControl() {
        static int serial = 0;
        m_name = "LinkvigilAllocFaults." + std::to_string(::GetCurrentProcessId()) + "." +
                 std::to_string(++serial);
        m_hMapping = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                          sizeof(AllocFaultControl), m_name.c_str());
        if (m_hMapping != nullptr)
            m_pControl = static_cast<AllocFaultControl*>(
                ::MapViewOfFile(m_hMapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(AllocFaultControl)));
        ::SetEnvironmentVariableA(kAllocFaultsVariable, m_name.c_str());
    }
    ~CFaultControl() {
        ::SetEnvironmentVariableA(kAllocFaultsVariable, nullptr);
        if (m_pControl != nullptr)
            ::UnmapViewOfFile(m_pControl);
        if (m_hMapping != nullptr)
            ::CloseHandle(m_hMapping);
    }
    CFaultControl(const CFaultControl&) = delete;
    CFaultControl& operator=(const CFaultControl&) = delete;

    bool IsOpen() const { return m_pControl != nullptr; }
    LONG Allocations() const { return m_pControl->allocations; }
    LONG Failures() const { return m_pControl->failures; }
    // The allocation that many after the ones made so far fails (with every one after it, for
    // a lasting shortage); 0: none.
    void FailAfter(LONG count, Shortage shortage = Shortage::OneAllocation) {
        if (count == 0) {
            ::InterlockedExchange(&m_pControl->failAt, 0);
            ::InterlockedExchange(&m_pControl->lasting, 0);
            return;
        }
        ::InterlockedExchange(&m_pControl->lasting, shortage == Shortage::UntilThePathEnds);
        ::InterlockedExchange(&m_pControl->failAt, Allocations() + count);
    }

    // The waits the monitor thread has begun so far, read just before a RAS change is
    // signalled and once the thread sits in a wait: what Idle must see it wait beyond. Read
    // after the signal, a loaded machine could let the whole check run first, and the wait
    // that follows it, never to end, would not count.
    LONG MonitorWaitsBeforeSignal() const {
        WaitFor([&] { return MonitorActivityOf(m_pControl->monitor) != kMonitorBusy; });
        return MonitorWaitsOf(m_pControl->monitor);
    }
    static constexpr LONG kNoSignal = -1;

    // The waits the monitor thread has begun so far, whatever it does now.
    LONG MonitorWaits() const { return MonitorWaitsOf(m_pControl->monitor); }
    // TRUE once the monitor thread sits in a wait begun after `waits`: each run of the thread
    // looks once before its first wait, so a start is over only then.
    bool MonitorWaitingSince(LONG waits) const {
        const LONG monitor = m_pControl->monitor;
        const LONG activity = MonitorActivityOf(monitor);
        return (activity == kMonitorWaiting || activity == kMonitorWaitingTimed) &&
               MonitorWaitsOf(monitor) > waits;
    }

    // TRUE when nothing runs in the program any more: the GUI thread took a ping posted to
    // window now, so every message posted before it was handled (or waits behind a box that
    // shows), and the monitor thread, if there is one, was in its wait all the while, a wait
    // begun after waitsAtSignal when a RAS change was signalled. A wait that ends in a check
    // of its own (after a check that ran out of memory) counts only while memory stays short:
    // otherwise that check goes on with the path.
    bool Idle(HWND window, LONG waitsAtSignal) {
        const LONG before = m_pControl->monitor;
        switch (MonitorActivityOf(before)) {
        case kMonitorNone:
            break;
        case kMonitorWaitingTimed:
            if (m_pControl->lasting == 0 || m_pControl->failAt == 0)
                return false;
            [[fallthrough]];
        case kMonitorWaiting:
            if (MonitorWaitsOf(before) <= waitsAtSignal)
                return false;
            break;
        default:
            return false;
        }
        const LONG ping = ++m_pings;
        if (window == nullptr || !::PostMessageA(window, m_pingMessage, ping, 0))
            return false;
        if (!WaitFor([&] { return m_pControl->pingTaken >= ping; }))
            return false;
        const LONG after = m_pControl->monitor;
        if (after == before)
            return true;
        // While memory stays short, a check of the thread's own fails at its first allocation,
        // before it could post anything, and the thread waits again: such rounds, 2 s apart,
        // may pass while the ping is on its way (which can take longer on a loaded machine).
        return MonitorActivityOf(before) == kMonitorWaitingTimed &&
               MonitorActivityOf(after) == kMonitorWaitingTimed && m_pControl->lasting != 0 &&
               m_pControl->failAt != 0;
    }

private:
    std::string m_name;
    HANDLE m_hMapping = nullptr;
    AllocFaultControl* m_pControl = nullptr;
    const UINT m_pingMessage = ::RegisterWindowMessageA(kAllocFaultsPingMessage);
    LONG m_pings = 0;
};

// TRUE when every line of part appears in whole, in the same order.
bool IsSubsequence(const Lines& part, const Lines& whole) {
    size_t at = 0;
    for (const std::string& line : part) {
        while (at < whole.size() && whole[at] != line)
            ++at;
        if (at == whole.size())
            return false;
        ++at;
    }
    return true;
}

// Lines that report a state change: the ones a false result would show in.
Lines StateLines(const Lines& log) {
    Lines states;
    for (const std::string& line : log)
        if (line.rfind(kLogUpPrefix, 0) == 0 || line == kLogDown)
            states.push_back(line);
    return states;
}

struct RunResult {
    std::vector<LONG> allocationsPerPath; // counted when no allocation failed
    Lines boxes;                          // texts of the message boxes shown
    Lines log;                            // the log's messages
    std::vector<Lines> states;            // the state lines each path wrote, recovery last
    Lines list;                           // the list box at the end
    DWORD exitCode = 0;
    bool failed = false;       // the armed allocation was reached
    bool refusedStart = false; // the faulty path left "Start Monitoring" on the button
};

class AllocFaults : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CRasStandin::OverrideActive()) << "run under wine-run";
        ASSERT_TRUE(m_standin.Install(RasLibrary::Full));
    }

    // The program as built for allocation faults.
    static std::string FaultProgram() { return AllocFaultsProgramPath(); }

    // Runs every path; the allocation `nth` of path `faulty` fails (none when nth is 0), and
    // with it, for a lasting shortage, every one after it until that path ends. The paths
    // after the fault bring the program back to a known state: a connection that comes up
    // with a new address must be reported and logged as usual.
    void Run(const std::string& dirName, Path faulty, LONG nth, Shortage shortage,
             RunResult& result) {
        m_standin.table.Reset();
        CFaultControl control;
        ASSERT_TRUE(control.IsOpen());
        CAppUnderTest app;
        std::string dir = MakeScratchDir(dirName);
        LONG mark = 0;
        auto arm = [&](Path path) {
            mark = control.Allocations();
            if (path == faulty && nth > 0)
                control.FailAfter(nth, shortage);
        };
        size_t logMark = 0;
        auto segment = [&] {
            Lines log = LogMessages(app.LogPath());
            Lines written(log.begin() + static_cast<std::ptrdiff_t>(std::min(logMark, log.size())),
                          log.end());
            result.states.push_back(StateLines(written));
            logMark = log.size();
        };
        auto done = [&] {
            result.allocationsPerPath.push_back(control.Allocations() - mark);
            control.FailAfter(0);
            segment();
        };

        // Start-up: counted from the first allocation, so the fault is armed before the start.
        if (faulty == Path::Startup && nth > 0)
            control.FailAfter(nth, shortage);
        ASSERT_TRUE(app.Start(dir, "Linkvigil.exe", "", FaultProgram()));
        // A box during start-up shows before the window does. Start-up is over once the monitor
        // thread has made its first look and waits.
        Settle(
            app, control, CFaultControl::kNoSignal,
            [&] {
                return app.WaitForWindow(1) != nullptr && app.ButtonCaption() == kStop &&
                       m_standin.Registered() && control.MonitorWaitingSince(0);
            },
            result);
        ASSERT_NE(nullptr, app.WaitForWindow()) << "no window";
        result.refusedStart = faulty == Path::Startup && app.ButtonCaption() == kStart;
        done();

        arm(Path::Up);
        LONG waits = control.MonitorWaitsBeforeSignal();
        m_standin.table.Up(kAol, kFirstIp);
        Settle(
            app, control, waits, [&] { return Contains(app.ListLines(), ListUp(kFirstIp)); },
            result);
        done();

        // A check while the connection stays up: one that lost its table to a failed
        // allocation must not take that for a disconnection.
        arm(Path::OtherChange);
        waits = control.MonitorWaitsBeforeSignal();
        m_standin.table.Up("Other", "10.2.2.2");
        DWORD other = m_standin.table.GetCounters().dwChanges;
        Settle(
            app, control, waits, [&] { return m_standin.table.GetCounters().dwEnumSeen >= other; },
            result);
        done();

        arm(Path::Stop);
        PostPress(app);
        Settle(
            app, control, CFaultControl::kNoSignal, [&] { return app.ButtonCaption() == kStart; },
            result);
        done();

        arm(Path::Start);
        const LONG waitsBeforeStart = control.MonitorWaits();
        PostPress(app);
        Settle(
            app, control, CFaultControl::kNoSignal,
            [&] {
                return app.ButtonCaption() == kStop && m_standin.Registered() &&
                       control.MonitorWaitingSince(waitsBeforeStart);
            },
            result);
        result.refusedStart |= faulty == Path::Start && app.ButtonCaption() == kStart;
        done();

        arm(Path::Down);
        waits = control.MonitorWaitsBeforeSignal();
        m_standin.table.Down(kAol);
        Settle(
            app, control, waits, [&] { return Contains(app.ListLines(), kListDown); }, result);
        done();

        // Back to a known state: monitoring on (a failed Start left it off), the connection
        // down as a check has seen it, then up with a new address.
        if (app.ButtonCaption() == kStart) {
            PostPress(app);
            Settle(
                app, control, CFaultControl::kNoSignal,
                [&] { return app.ButtonCaption() == kStop; }, result);
        }
        ASSERT_TRUE(m_standin.WaitForRegistration());
        m_standin.table.Up("Nudge", "10.1.1.1"); // a change, so that a check reads the table
        DWORD nudged = m_standin.table.GetCounters().dwChanges;
        ASSERT_TRUE(WaitFor([&] { return m_standin.table.GetCounters().dwEnumSeen >= nudged; }));
        // What that check posted is handled before the presses posted behind it, and the
        // restart's own look sees the same table: afterwards the state is down, as both saw it.
        PostPress(app);
        ASSERT_TRUE(app.WaitForCaption(kStart));
        PostPress(app);
        ASSERT_TRUE(app.WaitForCaption(kStop));
        ASSERT_TRUE(m_standin.WaitForRegistration());
        m_standin.table.Up(kAol, kRecoveryIp);
        EXPECT_TRUE(WaitFor([&] { return Contains(app.ListLines(), ListUp(kRecoveryIp)); }))
            << "the program works again once allocations succeed; caption " << app.ButtonCaption()
            << ", list: " << ::testing::PrintToString(app.ListLines());
        EXPECT_TRUE(WaitFor([&] {
            Lines log = LogMessages(app.LogPath());
            return !log.empty() && log.back() == LogUp(kRecoveryIp);
        }));

        segment(); // the recovery's
        arm(Path::Close);
        result.list = app.ListLines();
        app.Close();
        ASSERT_TRUE(app.WaitForExit(kPatienceMs, &result.exitCode)) << "the program did not end";
        done();

        result.failed = control.Failures() > 0;
        EXPECT_TRUE(AllLinesTimestamped(app.LogPath()));
        std::string text = ReadWholeFile(app.LogPath());
        EXPECT_TRUE(text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0)
            << "the last line is whole";
        result.log = LogMessages(app.LogPath());
    }

    // Waits until the path is done, or a message box shows, or (once an allocation has
    // failed) the program is idle again: a path that a fault ended never finishes, and is over
    // when nothing runs any more. A box is read and closed, and then the path goes on the same
    // way (it may finish, or not when its handler ended). waitsAtSignal: as Idle takes it.
    // Neither done nor idle within the bound: the program hangs.
    template <typename Condition>
    void Settle(CAppUnderTest& app, CFaultControl& control, LONG waitsAtSignal, Condition condition,
                RunResult& result) {
        auto over = [&] {
            return condition() ||
                   (control.Failures() > 0 && control.Idle(app.Window(), waitsAtSignal));
        };
        HWND box = nullptr;
        EXPECT_TRUE(WaitFor([&] { return (box = app.FindMessageBox()) != nullptr || over(); }))
            << "the program neither finished the path nor came back idle";
        // Idle may have seen the ping taken by the loop of a box that is made but not shown yet.
        while ((box = app.FindMessageBox(true)) != nullptr) {
            EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(box) || !::IsWindow(box); }));
            result.boxes.push_back(CAppUnderTest::MessageBoxText(box));
            EXPECT_EQ("Linkvigil", CAppUnderTest::WindowText(box)) << "the box's caption";
            HWND owner = ::GetWindow(box, GW_OWNER);
            EXPECT_TRUE(owner != nullptr && CAppUnderTest::WindowText(owner) == "Linkvigil" &&
                        ::GetDlgItem(owner, IDC_START_STOP) != nullptr)
                << "owned by the main window";
            ::PostMessageA(box, WM_COMMAND, IDOK, 0);
            WaitFor([&] { return !::IsWindow(box); });
            if (result.boxes.size() > 3)
                break;
            EXPECT_TRUE(WaitFor([&] { return app.FindMessageBox() != nullptr || over(); }))
                << "after the box, the program neither finished the path nor came back idle";
        }
    }

    static void PostPress(CAppUnderTest& app) {
        // Posted, not sent: a box shown by the press must not block this test.
        HWND button = ::GetDlgItem(app.Window(), IDC_START_STOP);
        ::PostMessageA(app.Window(), WM_COMMAND, MAKEWPARAM(IDC_START_STOP, BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
    }

    // Every path with each of its allocations failing in turn, as the shortage says; at most
    // boxesOwed boxes in each run.
    void TryEveryAllocation(Shortage shortage, size_t boxesOwed);

    static bool Contains(const Lines& lines, const std::string& line) {
        return std::find(lines.begin(), lines.end(), line) != lines.end();
    }

    CRasStandin m_standin;
};

} // namespace

void AllocFaults::TryEveryAllocation(Shortage shortage, size_t boxesOwed) {
    RunResult clean;
    Run("alloc_clean", Path::Startup, 0, shortage, clean);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(std::size(kPaths), clean.allocationsPerPath.size());
    EXPECT_TRUE(clean.boxes.empty());
    EXPECT_EQ(0u, clean.exitCode);
    const Lines cleanStates = StateLines(clean.log);
    ASSERT_EQ((Lines{LogUp(kFirstIp), kLogDown, LogUp(kRecoveryIp)}), cleanStates);
    Lines allowed = clean.log;
    allowed.push_back(kNotInstalled);

    // CI tries a spread of each path's allocations; LINKVIGIL_ALLOC_FAULTS_ALL=1 tries them all.
    const char* all = std::getenv("LINKVIGIL_ALLOC_FAULTS_ALL");
    const LONG stride = all != nullptr && *all == '1' ? 1 : 3;
    std::map<std::string, int> outcomes;
    for (size_t p = 0; p < std::size(kPaths); ++p) {
        const auto& [path, name] = kPaths[p];
        const LONG count = clean.allocationsPerPath[p];
        std::printf("[ FIGURES  ] %s: %ld allocations\n", name, static_cast<long>(count));
        for (LONG nth = 1; nth <= count;
             nth += (nth == count ? 1 : std::min(stride, count - nth))) {
            if (const char* only = std::getenv("LINKVIGIL_ALLOC_FAULTS_ONLY"))
                if (std::string(only) != std::to_string(p) + ":" + std::to_string(nth))
                    continue;
            SCOPED_TRACE(std::string(name) + ", allocation " + std::to_string(nth));
            RunResult run;
            Run("alloc_fault", path, nth, shortage, run);
            if (HasFatalFailure())
                return;
            EXPECT_TRUE(run.failed) << "the armed allocation was made";
            EXPECT_EQ(0u, run.exitCode) << "ended normally";
            EXPECT_LE(run.boxes.size(), boxesOwed) << ::testing::PrintToString(run.boxes);
            for (const std::string& box : run.boxes)
                EXPECT_TRUE(box == kOutOfMemory || box == kThreadFailed) << box;
            // Monitoring that could not start says why, whatever memory is left for the box:
            // the thread box, or the out-of-memory box of a start-up that ended early.
            EXPECT_TRUE(!run.refusedStart || !run.boxes.empty()) << "monitoring off, no box";
            // True: each line is one the clean run wrote, and the state lines are the clean
            // run's with some missing, never one that did not happen.
            for (const std::string& line : run.log)
                EXPECT_NE(allowed.end(), std::find(allowed.begin(), allowed.end(), line)) << line;
            // Path by path: by the end of each path, the state lines so far are the clean
            // run's so far with some missing. A line may come late (a change noticed only when
            // monitoring runs again), never early: an early one reports what did not happen.
            ASSERT_EQ(clean.states.size(), run.states.size());
            Lines runSoFar, cleanSoFar;
            for (size_t segment = 0; segment < run.states.size(); ++segment) {
                runSoFar.insert(runSoFar.end(), run.states[segment].begin(),
                                run.states[segment].end());
                cleanSoFar.insert(cleanSoFar.end(), clean.states[segment].begin(),
                                  clean.states[segment].end());
                EXPECT_TRUE(IsSubsequence(runSoFar, cleanSoFar))
                    << "by the end of path " << segment << ": "
                    << ::testing::PrintToString(runSoFar);
            }
            ++outcomes[run.boxes.empty() ? "no box" : run.boxes[0]];
        }
    }
    for (const auto& outcome : outcomes)
        std::printf("[ FIGURES  ] outcome \"%s\": %d runs\n", outcome.first.c_str(),
                    outcome.second);
}

// One allocation fails, the next succeeds: each handler that ran out of memory says so once.
TEST_F(AllocFaults, EveryAllocationOfEveryPathMayFail) {
    TryEveryAllocation(Shortage::OneAllocation, 1);
}

// From the failed allocation on, every one fails until the path ends: the program goes on,
// the monitor thread included, and owes the same boxes.
TEST_F(AllocFaults, AShortageFromAnyAllocationOfAPathLastsUntilThePathEnds) {
    TryEveryAllocation(Shortage::UntilThePathEnds, 1);
}
