// 6. Start and Stop under load, and closing mid-check and mid-delay: nothing is left behind,
// and a window closed while a check runs or waits still lets the process end.
#include "app/resource.h"
#include "fixture.h"
#include "log_oracle.h"
#include "shown_version.h"

#include <algorithm>
#include <optional>

using rasstub::CStandinTable;

namespace reliability {
namespace {

TEST_F(Reliability, StartStopStormLeavesNoThreadOrHandleBehind) {
    const DWORD presses = Setting("LINKVIGIL_PRESSES", 1000) & ~1u;
    ASSERT_NO_FATAL_FAILURE(Launch());
    for (int i = 0; i < 10; ++i) // the first cycles may set up what stays for good
        m_app.PressButton();
    ASSERT_EQ(kStop, m_app.ButtonCaption());
    ASSERT_TRUE(WaitFor([&] { return Watching(m_app); }));
    size_t handles = m_app.HandleCount(), threads = m_app.ThreadCount();
    ASSERT_GT(handles, 0u);

    // Changes come every millisecond, but no more than eight per press. Natively about five
    // come per press (4,897 in 1,000 presses, measured); under emulation a press takes several
    // times as long, and as many changes per second as natively made nine times as many checks
    // (14,655) and left a queue of posted results that took the program 40 s to work off.
    DWORD started = ::GetTickCount(), events = 0;
    {
        volatile LONG pressed = 0;
        CEventStorm storm(
            [](CStandinTable& table, DWORD i) {
                if (i % 2 == 0)
                    table.Up(i % 4 == 0 ? kAol : "Other", "10.6.0.1");
                else
                    table.Down(i % 4 == 1 ? kAol : "Other");
            },
            &pressed, 8);
        for (DWORD i = 1; i <= presses; ++i) {
            m_app.PressButton();
            ::InterlockedIncrement(&pressed);
            ASSERT_EQ(i % 2 == 1 ? kStart : kStop, m_app.ButtonCaption()) << "press " << i;
        }
        events = storm.Changes();
    }
    DWORD elapsed = ::GetTickCount() - started;
    ASSERT_TRUE(WaitFor([&] { return Watching(m_app); }));
    EXPECT_EQ(1u, m_standin.table.GetRegistrations().size()) << "registrations left behind";
    EXPECT_TRUE(WaitFor([&] { return m_app.HandleCount() == handles; }))
        << "handles before " << handles << ", after " << m_app.HandleCount();
    EXPECT_TRUE(WaitFor([&] { return m_app.ThreadCount() == threads; }))
        << "threads before " << threads << ", after " << m_app.ThreadCount();
    size_t handlesAfter = m_app.HandleCount(), threadsAfter = m_app.ThreadCount();

    // Still watching: a change made now is reported. The storm may have left messages in the
    // program's queue, and a check that ran before one of them was handled saw the old state
    // (by design, a quick up, down, up can leave the state up with the new address
    // unnoticed). So first let every queued message be handled: presses posted behind them
    // stop and restart monitoring, and the restart's own look brings the state to the table's.
    // Then the state is the last state line of the log, and each change below is made only
    // once the one before was handled.
    auto postPress = [&] {
        HWND button = ::GetDlgItem(m_app.Window(), IDC_START_STOP);
        ::PostMessageA(m_app.Window(), WM_COMMAND, MAKEWPARAM(IDC_START_STOP, BN_CLICKED),
                       reinterpret_cast<LPARAM>(button));
    };
    postPress();
    ASSERT_TRUE(m_app.WaitForCaption(kStart));
    postPress();
    ASSERT_TRUE(m_app.WaitForCaption(kStop));
    ASSERT_TRUE(WaitFor([&] { return Watching(m_app); }));
    auto lastState = [&] {
        Lines messages = LogMessages(m_app.LogPath());
        for (auto it = messages.rbegin(); it != messages.rend(); ++it)
            if (IsStateLine(*it))
                return *it;
        return std::string(kLogDown);
    };
    // What the restart's look posted must be handled before the next change: a check compares
    // the table with the state as the window has it, and a report still queued would be
    // undone by nothing. The look reports what the table holds.
    std::vector<rasstub::Connection> listed = m_standin.table.GetConnections();
    bool aolListed = std::any_of(listed.begin(), listed.end(), [](const rasstub::Connection& c) {
        return rasstub::FieldText(c.szEntryName) == kAol;
    });
    ASSERT_TRUE(WaitFor([&] { return (lastState() != kLogDown) == aolListed; })) << lastState();
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
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_standin.table.DownAll();
        std::optional<CShownWindowsVersion> shown;
        if (c.windows9x) { // Wine shows this one program Windows 98
            shown.emplace(c.exeName, "win98");
            ASSERT_TRUE(shown->IsSet());
        }
        m_dir = MakeScratchDir(std::string("rel_close_") + (c.windows9x ? "9x" : "nt"));
        CAppUnderTest app;
        ASSERT_TRUE(app.Start(m_dir, c.exeName));
        ASSERT_NE(nullptr, app.WaitForWindow());
        ASSERT_TRUE(WaitFor([&] { return Watching(app); }));
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
        ASSERT_TRUE(app.WaitForExit(kPatienceMs, &exitCode)) << "deadlock";
        EXPECT_EQ(0u, exitCode);
        rasstub::Counters counters = m_standin.table.GetCounters();
        EXPECT_EQ(checks + 1, counters.dwEnumCalls) << "the check ran to its end, once";
        EXPECT_FALSE(Watching(app));
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

} // namespace
} // namespace reliability
