#include "app_bench.h"

#include "app_driver.h"
#include "event_text.h"
#include "measure.h"
#include "ras_standin.h"

#include <algorithm>
#include <random>

namespace bench {

namespace {

constexpr char kAolEntry[] = "AOL L2TP";
// Generous: a figure is read, never a verdict given, when an event is this late.
constexpr DWORD kEventTimeoutMs = 10000;
// Lets start-up work (first check, registration, log open) finish before a figure is read.
constexpr DWORD kSettleMs = 1000;
// Pauses before the events whose latency is the headline figure.
constexpr DWORD kMinPauseMs = 10;
constexpr DWORD kMaxPauseMs = 40;
// Heap growth comes in steps; differences below this are noise.
constexpr double kMemoryNoise = 64 * 1024;
// The program's poll interval where RAS offers no notifications.
constexpr DWORD kPollCycleMs = 2000;
// Lets an ended program's process leave Wine before the next one starts.
constexpr DWORD kStartupPauseMs = 200;

// One connection event on one clock: the driver's just before it changed the table, the
// stand-in's just before it set the program's event (notification mode only), and the
// driver's when it saw the new list line.
struct EventTiming {
    LONGLONG change = 0;
    LONGLONG signal = 0;
    LONGLONG list = 0;
};

// Drives connection events into the running program: up and down by turns, each with an
// address of its own, each waited for until its list line is there.
class CEventDriver {
public:
    CEventDriver(CRasStandin& standin, HWND hDialog)
        : m_standin(standin), m_hDialog(hDialog), m_count(ListCount(hDialog)) {}

    // detect: how the list is polled: "spin" (at once again), "yield" (after giving up the
    // processor), "sleep" (after 1 ms).
    bool Fire(const std::string& detect, EventTiming& timing) {
        timing.change = Qpc();
        bool changed = IsUpEvent(m_next)
                           ? m_standin.table.Up(kAolEntry, EventAddress(m_next).c_str()) != 0
                           : m_standin.table.Down(kAolEntry);
        ++m_next;
        if (!changed)
            return false;
        LONGLONG deadline = Qpc() + static_cast<LONGLONG>(kEventTimeoutMs / QpcToMs(1));
        LRESULT now = 0;
        for (;;) {
            now = ListCount(m_hDialog);
            timing.list = Qpc();
            if (now > m_count)
                break;
            if (timing.list > deadline)
                return false;
            if (detect == "sleep")
                ::Sleep(1);
            else if (detect == "yield")
                ::Sleep(0);
        }
        m_extraLines += static_cast<unsigned>(now - m_count - 1);
        m_count = now;
        timing.signal = m_standin.table.GetCounters().llLastSignalQpc;
        return true;
    }

    LRESULT ListLines() const { return m_count; }
    unsigned ExtraLines() const { return m_extraLines; }

private:
    CRasStandin& m_standin;
    HWND m_hDialog;
    LRESULT m_count;
    unsigned m_next = 0;
    unsigned m_extraLines = 0;
};

struct IdleFigures {
    DWORD checks = 0;
    double appCpuMs = 0;
    double baselineCpuMs = 0;
    bool ok = false;
};

// Neither process is touched meanwhile: no message, no RAS change.
IdleFigures MeasureIdle(CRasStandin& standin, HANDLE hApp, const Options& options,
                        const std::string& scratchName) {
    IdleFigures figures;
    CChildProcess baseline;
    if (!baseline.Start(BaselineV6Path(), MakeScratchDir(scratchName), "/thread") ||
        WaitForStartedWindow(baseline) == nullptr)
        return figures;
    ::Sleep(kSettleMs);
    DWORD checks = standin.table.GetCounters().dwEnumCalls;
    double appCpu = ProcessCpuMs(hApp);
    double baselineCpu = ProcessCpuMs(baseline.Process());
    ::Sleep(options.idleSeconds * 1000);
    figures.checks = standin.table.GetCounters().dwEnumCalls - checks;
    figures.appCpuMs = ProcessCpuMs(hApp) - appCpu;
    figures.baselineCpuMs = ProcessCpuMs(baseline.Process()) - baselineCpu;
    figures.ok = baseline.Terminate(0);
    return figures;
}

double Failed(CReport& report, const std::string& figure, const std::string& why) {
    report.Fail(figure, why);
    return -1;
}

std::string Kb(SIZE_T bytes) {
    return Fixed(static_cast<double>(bytes) / 1024.0, 0) + " KB";
}

std::string SignedKb(double bytes) {
    return (bytes >= 0 ? "+" : "") + Fixed(bytes / 1024.0, 0) + " KB";
}

} // namespace

std::string BaselinePath() {
    return WindowsPath(BASELINE_EXE);
}

std::string BaselineV6Path() {
    return WindowsPath(BASELINE_V6_EXE);
}

void RunStartup(CReport& report, const Options& options) {
    const char* figure = "3. Start-up to the first list line, median";
    CRasStandin standin;
    if (!standin.Install(RasLibrary::Full))
        return report.Fail(figure, "cannot install the RAS stand-in");
    // Each program starts from a copy in a directory of its own, the same way.
    struct Program {
        std::string source, dir, exe;
        std::vector<double> runs;
    } programs[] = {{ProgramPath(), "startup_linkvigil", "Linkvigil.exe", {}},
                    {BaselinePath(), "startup_baseline", "baseline.exe", {}},
                    {BaselineV6Path(), "startup_baseline_v6", "baseline.exe", {}}};
    for (Program& program : programs) {
        program.dir = MakeScratchDir(program.dir);
        program.exe = program.dir + "\\" + program.exe;
        if (!::CopyFileA(program.source.c_str(), program.exe.c_str(), FALSE))
            return report.Fail(figure, "cannot copy " + program.source);
    }

    // One round of each first, not counted: file cache, Wine's libraries.
    const size_t count = sizeof programs / sizeof programs[0];
    for (unsigned round = 0; round <= options.startupRuns; ++round) {
        // Each round starts with another program, so that none always follows the same one.
        for (size_t k = 0; k < count; ++k) {
            Program& program = programs[(round + k) % count];
            double ms = TimeStartup(program.exe, program.dir, "");
            standin.table.Reset(); // forgets the registrations of ended runs
            if (ms < 0)
                return report.Fail(figure, "the window of " + program.exe + " did not come up");
            if (round > 0)
                program.runs.push_back(ms);
            ::Sleep(kStartupPauseMs);
        }
    }
    const std::vector<double>& app = programs[0].runs;
    const std::vector<double>& base = programs[1].runs;
    const std::vector<double>& v6 = programs[2].runs;
    double ratio = Median(app) / Median(base);
    report.Add({figure, Fixed(Median(app), 0) + " ms", Fixed(Median(base), 0) + " ms (baseline)",
                Fixed(ratio, 2) + " x", "within 1.3 x", Verdict(ratio <= 1.3)});
    report.Add({"3. Start-up, baseline with the common-controls manifest", "",
                Fixed(Median(v6), 0) + " ms", Fixed(Median(v6) / Median(base), 2) + " x", "", ""});
    auto range = [](const std::vector<double>& runs) {
        return Fixed(Percentile(runs, 0), 0) + "-" + Fixed(Percentile(runs, 100), 0) + " ms";
    };
    report.Note("Start-up: " + std::to_string(app.size()) +
                " counted runs of each program, in turns; min-max: Linkvigil " + range(app) +
                ", baseline " + range(base) + ", baseline with manifest " + range(v6) +
                "; ratio of the fastest runs " +
                Fixed(Percentile(app, 0) / Percentile(base, 0), 2) + " x.");
}

double RunNotificationMode(CReport& report, const Options& options) {
    const char* latencyFigure = "1. Detection latency, notification mode (median / p99)";
    CRasStandin standin;
    if (!standin.Install(RasLibrary::Full))
        return Failed(report, latencyFigure, "cannot install the RAS stand-in");
    CAppUnderTest app;
    if (!app.Start(MakeScratchDir("notify")) || app.WaitForWindow() == nullptr ||
        !WaitFor([&] { return !app.ListLines().empty(); }) ||
        !standin.WaitForRegistration(app.ProcessId()))
        return Failed(report, latencyFigure, "the program did not come up with notifications");
    ::Sleep(kSettleMs);
    SIZE_T memoryAtStart = ProcessPrivateBytes(app.Process());

    std::string idleSeconds = std::to_string(options.idleSeconds);
    IdleFigures idle = MeasureIdle(standin, app.Process(), options, "idle_notify_baseline");
    if (!idle.ok) {
        report.Fail("2. Idle, notification mode", "the baseline did not come up");
    } else {
        report.Add({"2. Idle " + idleSeconds + " s, notification mode: checks",
                    std::to_string(idle.checks), "", "", "0", Verdict(idle.checks == 0)});
        // The clock behind the figure ticks in 10 ms steps under Wine.
        report.Add({"2. Idle " + idleSeconds + " s, notification mode: CPU time",
                    Fixed(idle.appCpuMs, 0) + " ms",
                    Fixed(idle.baselineCpuMs, 0) + " ms (idle baseline)", "", "as the baseline",
                    Verdict(idle.appCpuMs <= idle.baselineCpuMs + 10)});
    }

    // Spaced events first, as real ones are: the machine is idle when each arrives.
    CEventDriver driver(standin, app.Window());
    std::mt19937 random(20261208);
    std::uniform_int_distribution<DWORD> pause(kMinPauseMs, kMaxPauseMs);
    rasstub::Counters before = standin.table.GetCounters();
    std::vector<double> spaced, burst;
    double cpuBefore = ProcessCpuMs(app.Process());
    LONGLONG started = Qpc();
    for (unsigned i = 0; i < options.notifyEvents; ++i) {
        bool isSpaced = i < options.latencySample;
        if (isSpaced)
            ::Sleep(pause(random));
        EventTiming timing;
        if (!driver.Fire(options.detect, timing))
            return Failed(report, latencyFigure,
                          "event " + std::to_string(i) + " did not reach the list");
        (isSpaced ? spaced : burst).push_back(QpcToMs(timing.list - timing.signal));
    }
    double eventsMs = QpcToMs(Qpc() - started);
    double cpuPerEvent = (ProcessCpuMs(app.Process()) - cpuBefore) / options.notifyEvents;
    rasstub::Counters after = standin.table.GetCounters();

    double median = Median(spaced);
    report.Add({latencyFigure, Fixed(median, 2) + " / " + Fixed(Percentile(spaced, 99), 2) + " ms",
                "", "", "median under 5 ms", Verdict(median < 5)});
    std::string note = "Notification latency: " + std::to_string(spaced.size()) + " events " +
                       std::to_string(kMinPauseMs) + "-" + std::to_string(kMaxPauseMs) +
                       " ms apart, detection by " + options.detect + ".";
    if (!burst.empty())
        note += " Then " + std::to_string(burst.size()) + " back to back (list up to " +
                std::to_string(driver.ListLines()) + " lines): median " + Fixed(Median(burst), 2) +
                " ms, p99 " + Fixed(Percentile(burst, 99), 2) + " ms, max " +
                Fixed(Percentile(burst, 100), 2) + " ms.";
    note += " " + std::to_string(after.dwSignals - before.dwSignals) + " signals, " +
            std::to_string(after.dwEnumCalls - before.dwEnumCalls) + " checks and " +
            std::to_string(options.notifyEvents + driver.ExtraLines()) + " list lines for " +
            std::to_string(options.notifyEvents) + " events in " + Fixed(eventsMs / 1000, 1) +
            " s.";
    report.Note(note);
    report.Add({"2. CPU time per connection event (check, log lines, list line)",
                Fixed(cpuPerEvent, 2) + " ms", "", "", "", ""});

    ::Sleep(kSettleMs);
    SIZE_T memoryAfter = ProcessPrivateBytes(app.Process());
    app.Close();
    if (!app.WaitForExit())
        report.Note("The program did not end after the notification run.");

    // The yardstick, with the program's list box (version 6 of the common controls): one
    // list line added from another process, after the same pauses; then the same lines as
    // the program got, for what the list alone costs in memory.
    CChildProcess baseline;
    HWND baselineWindow = nullptr;
    if (!baseline.Start(BaselineV6Path(), MakeScratchDir("lines_baseline"), "") ||
        (baselineWindow = WaitForStartedWindow(baseline)) == nullptr)
        return Failed(report, "5. Private memory", "the baseline did not come up");
    ::Sleep(kSettleMs);
    SIZE_T baseBefore = ProcessPrivateBytes(baseline.Process());
    std::vector<double> oneLine;
    for (unsigned i = 0; i < options.latencySample; ++i) {
        ::Sleep(pause(random));
        LONGLONG sent = Qpc();
        ::SendMessageA(baselineWindow, kAddLinesMessage, 1, i);
        oneLine.push_back(QpcToMs(Qpc() - sent));
    }
    report.Add({"1. One list line added by the baseline dialog (with manifest), sent from "
                "another process",
                "", Fixed(Median(oneLine), 2) + " / " + Fixed(Percentile(oneLine, 99), 2) + " ms",
                "", "", ""});
    DWORD_PTR result = 0;
    ::SendMessageTimeoutA(baselineWindow, kAddLinesMessage,
                          options.notifyEvents - options.latencySample, options.latencySample,
                          SMTO_NORMAL, 120000, &result);
    ::Sleep(kSettleMs);
    SIZE_T baseAfter = ProcessPrivateBytes(baseline.Process());
    baseline.Terminate(0);

    if (memoryAtStart == 0 || memoryAfter == 0 || baseBefore == 0 || baseAfter == 0) {
        report.Fail("5. Private memory", "cannot read the process memory");
        return median;
    }
    double growth = static_cast<double>(memoryAfter) - static_cast<double>(memoryAtStart);
    double baseGrowth = static_cast<double>(baseAfter) - static_cast<double>(baseBefore);
    std::string events = std::to_string(options.notifyEvents);
    report.Add({"5. Private memory after start-up", Kb(memoryAtStart),
                Kb(baseBefore) + " (baseline with manifest)", "", "", ""});
    report.Add(
        {"5. Private memory growth over " + events + " events", SignedKb(growth),
         SignedKb(baseGrowth) + " (baseline with manifest, the same " + events + " list lines)", "",
         "no more than the list lines", Verdict(growth <= baseGrowth + kMemoryNoise)});
    return median;
}

double RunPollingMode(CReport& report, const Options& options) {
    const char* latencyFigure = "1. Detection latency, polling mode (median / max)";
    CRasStandin standin;
    if (!standin.Install(RasLibrary::Poll))
        return Failed(report, latencyFigure, "cannot install the RAS stand-in");
    CAppUnderTest app;
    if (!app.Start(MakeScratchDir("poll")) || app.WaitForWindow() == nullptr ||
        !WaitFor([&] { return !app.ListLines().empty(); }))
        return Failed(report, latencyFigure, "the program did not come up");

    IdleFigures idle = MeasureIdle(standin, app.Process(), options, "idle_poll_baseline");
    if (!idle.ok) {
        report.Fail("2. Idle, polling mode", "the baseline did not come up");
    } else {
        DWORD expected = options.idleSeconds / 2;
        report.Add({"2. Idle " + std::to_string(options.idleSeconds) + " s, polling mode: checks",
                    std::to_string(idle.checks), "", "", "about " + std::to_string(expected),
                    Verdict(idle.checks + 1 >= expected && idle.checks <= expected + 1)});
        report.Add({"2. Idle " + std::to_string(options.idleSeconds) + " s, polling mode: CPU time",
                    Fixed(idle.appCpuMs, 0) + " ms",
                    Fixed(idle.baselineCpuMs, 0) + " ms (idle baseline)", "", "", ""});
    }

    // Each event follows the previous one's list line, just after a poll, by a pause that
    // puts it at its own moment of the 2 s cycle: moments spread evenly over the cycle, in
    // shuffled order. Nobody registered for notifications, so there is no signal: an event
    // counts from the moment the driver changes the table. A 1 ms poll of the list is
    // precise enough here.
    std::vector<DWORD> pauses;
    for (unsigned i = 0; i < options.pollEvents; ++i)
        pauses.push_back(static_cast<DWORD>((i + 0.5) * kPollCycleMs / options.pollEvents));
    std::shuffle(pauses.begin(), pauses.end(), std::mt19937(20261208));
    CEventDriver driver(standin, app.Window());
    EventTiming timing;
    // Not counted: puts the driver just after a poll.
    if (!driver.Fire("sleep", timing))
        return Failed(report, latencyFigure, "the first event did not reach the list");
    std::vector<double> latencies;
    for (unsigned i = 0; i < options.pollEvents; ++i) {
        ::Sleep(pauses[i]);
        if (!driver.Fire("sleep", timing))
            return Failed(report, latencyFigure,
                          "event " + std::to_string(i) + " did not reach the list");
        latencies.push_back(QpcToMs(timing.list - timing.change));
    }
    app.Close();
    app.WaitForExit();

    double median = Median(latencies);
    report.Add({latencyFigure,
                Fixed(median, 0) + " / " + Fixed(Percentile(latencies, 100), 0) + " ms", "", "",
                "about 1000 ms", ""});
    report.Note("Polling latency: " + std::to_string(latencies.size()) +
                " events at moments spread evenly over the poll cycle; min " +
                Fixed(Percentile(latencies, 0), 0) + " ms.");
    return median;
}

} // namespace bench
