// The monitor thread against the RAS stand-in: notification and polling modes, stopping, a
// check that ran out of memory, and what a long run of starts and stops leaves behind.
#include "calloc_fault.h"
#include "connection/connection.h"
#include "framework/thread.h"
#include "handle_count.h"
#include "ras_standin.h"
#include "wait.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// A window of the test's own receives what the monitor thread posts.
class MonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CRasStandin::OverrideActive()) << "run under wine-run";
        m_hWnd = ::CreateWindowA("STATIC", "monitor target", 0, 0, 0, 0, 0, nullptr, nullptr,
                                 nullptr, nullptr);
        ASSERT_NE(nullptr, m_hWnd);
        SetThreadMainWindow(m_hWnd);
        g_connection.m_dwFlags = kFlagLastCallFlag;
        g_connection.SetIPAddress("");
    }
    void TearDown() override {
        StopMonitoring();
        SetThreadMainWindow(nullptr);
        ::DestroyWindow(m_hWnd);
    }

    // Waits for the next connection message and handles it as the main window does.
    UINT NextMessage(DWORD timeoutMs = kPatienceMs) {
        MSG msg = {};
        if (!WaitFor(
                [&] {
                    return ::PeekMessageA(&msg, m_hWnd, WM_CONNECTION_UP, WM_CONNECTION_DOWN,
                                          PM_REMOVE) != FALSE;
                },
                timeoutMs))
            return 0;
        if (msg.message == WM_CONNECTION_UP)
            g_connection.SetConnected();
        else
            g_connection.SetDisconnected();
        return msg.message;
    }
    bool NothingPosted() {
        MSG msg;
        return !::PeekMessageA(&msg, m_hWnd, WM_CONNECTION_UP, WM_CONNECTION_DOWN, PM_NOREMOVE);
    }
    DWORD EnumCalls() { return m_standin.table.GetCounters().dwEnumCalls; }
    DWORD ProjectionCalls() { return m_standin.table.GetCounters().dwProjectionCalls; }
    DWORD Signals() { return m_standin.table.GetCounters().dwSignals; }
    // Waits until a check has asked for a projection more than before.
    bool WaitForProjectionQueryAfter(DWORD before) {
        return WaitFor([&] { return ProjectionCalls() > before; });
    }
    // Waits until the monitor thread has run at least one more check than before.
    bool WaitForCheckAfter(DWORD before) {
        return WaitFor([&] { return EnumCalls() > before; });
    }
    // Starts monitoring and waits for the look that every start makes: once the stand-in has
    // answered it, that check allocates nothing more, and whatever follows is the test's.
    void StartAndWaitForFirstLook() {
        DWORD before = EnumCalls();
        ASSERT_TRUE(StartMonitoring());
        ASSERT_TRUE(WaitForCheckAfter(before)) << "no look at the start";
    }

    CRasStandin m_standin;
    HWND m_hWnd = nullptr;
};

} // namespace

TEST_F(MonitorTest, NotificationModeReportsUpAndDown) {
    ASSERT_TRUE(m_standin.Install(RasLibrary::Full));
    StartAndWaitForFirstLook();
    EXPECT_TRUE(m_standin.Registered());
    EXPECT_EQ(0u, m_standin.table.GetCounters().dwEnumCallsAtRegistration)
        << "looked before registering: a change in between would be lost";

    m_standin.table.Up("AOL L2TP", "10.0.0.7");
    EXPECT_EQ(WM_CONNECTION_UP, NextMessage());
    EXPECT_EQ("10.0.0.7", g_connection.GetIPAddress());
    m_standin.table.Down("AOL L2TP");
    EXPECT_EQ(WM_CONNECTION_DOWN, NextMessage());

    StopMonitoring();
    EXPECT_FALSE(m_standin.Registered()) << "the thread unregisters";
}

// Each start looks once, after registering: what changed while monitoring was off is reported
// at once, in both directions, without waiting for a RAS event.
TEST_F(MonitorTest, EachStartReportsWhatChangedWhileMonitoringWasOff) {
    ASSERT_TRUE(m_standin.Install(RasLibrary::Full));
    for (UINT expected : {WM_CONNECTION_UP, WM_CONNECTION_DOWN}) {
        SCOPED_TRACE(expected == WM_CONNECTION_UP ? "up while off" : "down while off");
        if (expected == WM_CONNECTION_UP)
            m_standin.table.Up("AOL L2TP", "10.0.0.7");
        else
            m_standin.table.Down("AOL L2TP");
        DWORD checks = EnumCalls();
        DWORD signals = Signals();
        ASSERT_TRUE(StartMonitoring());
        EXPECT_EQ(expected, NextMessage());
        EXPECT_EQ(checks, m_standin.table.GetCounters().dwEnumCallsAtRegistration)
            << "looked before registering";
        EXPECT_EQ(signals, Signals()) << "no RAS event was needed";
        StopMonitoring();
    }
}

// Stopped at once: the thread still makes its one look, then ends, in either mode.
TEST_F(MonitorTest, StopRightAfterStartEndsAfterTheFirstLook) {
    for (RasLibrary library : {RasLibrary::Full, RasLibrary::Poll}) {
        SCOPED_TRACE(library == RasLibrary::Full ? "notifications" : "polling");
        ASSERT_TRUE(m_standin.Install(library));
        DWORD checks = EnumCalls();
        ASSERT_TRUE(StartMonitoring());
        StopMonitoring();
        EXPECT_EQ(nullptr, g_pMonitorThread);
        EXPECT_EQ(nullptr, g_hStopEvent);
        EXPECT_EQ(checks + 1, EnumCalls()) << "one look, and no check after the stop";
        EXPECT_FALSE(m_standin.Registered());
    }
}

// The check for the last signal finds no memory for the record buffer and gives up; no signal
// follows, and the change is reported all the same by the check tried again later.
TEST_F(MonitorTest, CheckThatRanOutOfMemoryIsTriedAgainWithoutAnotherSignal) {
    ASSERT_TRUE(m_standin.Install(RasLibrary::Full));
    StartAndWaitForFirstLook();

    CCallocFault fault;
    fault.FailNextOnAnotherThread();
    m_standin.table.Up("AOL L2TP", "10.0.0.7");
    ASSERT_EQ(WM_CONNECTION_UP, NextMessage()) << "the change was lost";
    EXPECT_EQ(1, fault.Failures()) << "the check for the signal did not run out of memory";
    EXPECT_EQ("10.0.0.7", g_connection.GetIPAddress());

    fault.FailNextOnAnotherThread();
    m_standin.table.Down("AOL L2TP");
    EXPECT_EQ(WM_CONNECTION_DOWN, NextMessage()) << "the change was lost";
    EXPECT_EQ(2, fault.Failures());
    EXPECT_EQ(2u, m_standin.table.GetCounters().dwSignals) << "one signal per change, no more";
}

TEST_F(MonitorTest, PendingProjectionIsReportedOnceItCompletes) {
    ASSERT_TRUE(m_standin.Install(RasLibrary::Full));
    StartAndWaitForFirstLook();
    DWORD before = EnumCalls();
    m_standin.table.Up("AOL L2TP", "10.1.2.3", false);
    ASSERT_TRUE(WaitForCheckAfter(before));
    EXPECT_TRUE(NothingPosted()) << "no address yet: not up";
    m_standin.table.Complete("AOL L2TP");
    EXPECT_EQ(WM_CONNECTION_UP, NextMessage());
    EXPECT_EQ("10.1.2.3", g_connection.GetIPAddress());
}

// Real RAS signals a connection made, nothing when its address arrives later; the stand-in
// completes the projection here without a signal, as RAS may.
TEST_F(MonitorTest, AddressThatArrivesWithoutASignalIsReported) {
    ASSERT_TRUE(m_standin.Install(RasLibrary::Full));
    StartAndWaitForFirstLook();
    m_standin.table.Up("AOL L2TP", "10.1.2.4", false);
    ASSERT_TRUE(WaitForProjectionQueryAfter(0)) << "the check for the signal";
    EXPECT_TRUE(NothingPosted()) << "no address yet: not up";
    DWORD signals = Signals();
    ASSERT_TRUE(m_standin.table.Complete("AOL L2TP", false));
    EXPECT_EQ(WM_CONNECTION_UP, NextMessage()) << "the address was never read";
    EXPECT_EQ("10.1.2.4", g_connection.GetIPAddress());
    EXPECT_EQ(signals, Signals()) << "found without another signal";
}

// Up, then the same entry listed again with its projection pending (a redial): the check for
// the signal reports the disconnection, and the new address is reported when it arrives.
TEST_F(MonitorTest, UpConnectionListedAgainWithAPendingAddressGoesDownThenUpWithTheNewOne) {
    ASSERT_TRUE(m_standin.Install(RasLibrary::Full));
    StartAndWaitForFirstLook();
    m_standin.table.Up("AOL L2TP", "10.0.0.7");
    ASSERT_EQ(WM_CONNECTION_UP, NextMessage());
    {
        rasstub::CStandinTable::CBatch redial(m_standin.table); // one signal for both
        m_standin.table.Down("AOL L2TP");
        m_standin.table.Up("AOL L2TP", "10.0.0.8", false);
    }
    EXPECT_EQ(WM_CONNECTION_DOWN, NextMessage());
    ASSERT_TRUE(m_standin.table.Complete("AOL L2TP", false));
    EXPECT_EQ(WM_CONNECTION_UP, NextMessage());
    EXPECT_EQ("10.0.0.8", g_connection.GetIPAddress());
}

// Only "not complete yet" makes the thread look again: any other failure of the projection
// query counts as not found, and then, as after a check that found the address, nothing runs
// until the next signal. The look at each start is the check under test.
TEST_F(MonitorTest, OnlyAPendingAddressIsCheckedAgainWithoutASignal) {
    ASSERT_TRUE(m_standin.Install(RasLibrary::Full));
    m_standin.table.Up("AOL L2TP", "10.0.0.9", false);
    struct Case {
        DWORD projectionError; // for every query; 0: as listed
        bool checkedAgain;
    } cases[] = {
        {0, true}, // pending: ERROR_PROJECTION_NOT_COMPLETE
        {ERROR_PROTOCOL_NOT_CONFIGURED, false},
        {ERROR_INVALID_HANDLE, false},
        {0, false}, // completed below: found
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.projectionError);
        rasstub::Faults faults = {};
        faults.dwProjectionError = c.projectionError;
        m_standin.table.SetFaults(faults);
        if (&c == &cases[3]) {
            ASSERT_TRUE(m_standin.table.Complete("AOL L2TP", false));
        }
        DWORD projections = ProjectionCalls();
        ASSERT_TRUE(StartMonitoring());
        ASSERT_TRUE(WaitForProjectionQueryAfter(projections)) << "the look at the start";
        DWORD checks = EnumCalls();
        if (c.checkedAgain) {
            EXPECT_TRUE(WaitFor([&] { return EnumCalls() >= checks + 2; }));
        } else {
            ::Sleep(5 * kPollIntervalMs);
            EXPECT_EQ(checks, EnumCalls()) << "checked again without a signal";
        }
        StopMonitoring();
    }
    EXPECT_EQ(0u, Signals());
    EXPECT_EQ(WM_CONNECTION_UP, NextMessage());
    EXPECT_TRUE(NothingPosted());
}

// Stopped while the thread looks again at a pending address: the check under way ends, and
// the wait after it with it, without another check. The stand-in's table is held so that the
// stop is sure to come while a check runs.
TEST_F(MonitorTest, StopWhileAPendingAddressIsCheckedEndsAfterThatCheck) {
    ASSERT_TRUE(m_standin.Install(RasLibrary::Full));
    m_standin.table.Up("AOL L2TP", "10.0.0.11", false);
    StartAndWaitForFirstLook();
    DWORD checks = 0;
    {
        rasstub::CStandinTable::CLock hold(m_standin.table);
        volatile LONG& entered = hold->counters.lEnumEntered;
        LONG before = entered;
        ASSERT_TRUE(WaitFor([&] { return entered > before; })) << "not looked at again";
        // The stop's own signal, given while that check waits for the table.
        ::SetEvent(g_hStopEvent);
        checks = hold->counters.dwEnumCalls;
    }
    StopMonitoring();
    EXPECT_EQ(checks + 1, EnumCalls()) << "a check ran after the stop";
    EXPECT_FALSE(m_standin.Registered());
}

TEST_F(MonitorTest, PollingModeChecksWithoutNotificationsAndStopsWithTheThread) {
    ASSERT_TRUE(m_standin.Install(RasLibrary::Poll));
    StartAndWaitForFirstLook();
    m_standin.table.Up("AOL L2TP", "10.9.8.7");
    EXPECT_EQ(WM_CONNECTION_UP, NextMessage());
    ASSERT_TRUE(WaitForCheckAfter(EnumCalls())) << "polling goes on while nothing changes";

    StopMonitoring();
    DWORD afterStop = EnumCalls();
    ::Sleep(3 * kPollIntervalMs);
    EXPECT_EQ(afterStop, EnumCalls()) << "no check after Stop";
}

TEST_F(MonitorTest, PollingWaitsItsIntervalBetweenChecks) {
    ASSERT_TRUE(m_standin.Install(RasLibrary::Poll));
    LARGE_INTEGER frequency, start, end;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&start);
    ASSERT_TRUE(StartMonitoring());
    ::Sleep(6 * kPollIntervalMs + kPollIntervalMs / 2);
    DWORD checks = EnumCalls();
    ::QueryPerformanceCounter(&end);
    StopMonitoring();
    // One look at once, then one per interval: however the threads were scheduled, a window
    // of t ms holds at most 1 + t / interval checks. A shorter interval shows as more.
    double elapsedMs = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                       static_cast<double>(frequency.QuadPart);
    EXPECT_LE(checks, 1 + static_cast<DWORD>(elapsedMs / kPollIntervalMs)) << elapsedMs << " ms";
    EXPECT_GE(checks, 2u) << "polling checks at all";
}

// RAS that exports the registration but refuses it: the thread polls instead of ending.
TEST_F(MonitorTest, RefusedRegistrationFallsBackToPolling) {
    ASSERT_TRUE(m_standin.Install(RasLibrary::Full));
    rasstub::Faults faults = {};
    faults.dwNotifyError = ERROR_INVALID_FUNCTION;
    m_standin.table.SetFaults(faults);
    ASSERT_TRUE(StartMonitoring());
    m_standin.table.Up("AOL L2TP", "10.0.0.1");
    EXPECT_EQ(WM_CONNECTION_UP, NextMessage());
    EXPECT_EQ(WAIT_TIMEOUT, ::WaitForSingleObject(g_pMonitorThread->m_hThread, 0));
    EXPECT_FALSE(m_standin.Registered());
    StopMonitoring();
}

TEST_F(MonitorTest, StartTwiceKeepsOneThread) {
    ASSERT_TRUE(m_standin.Install(RasLibrary::Full));
    ASSERT_TRUE(StartMonitoring());
    CWorkerThread* first = g_pMonitorThread;
    HANDLE stopEvent = g_hStopEvent;
    EXPECT_TRUE(StartMonitoring());
    EXPECT_EQ(first, g_pMonitorThread);
    EXPECT_EQ(stopEvent, g_hStopEvent);
    StopMonitoring();
    StopMonitoring(); // nothing left to stop
    EXPECT_EQ(nullptr, g_pMonitorThread);
}

TEST_F(MonitorTest, MissingOrIncompleteLibraryMeansNoMonitoring) {
    for (RasLibrary library : {RasLibrary::Missing, RasLibrary::NoEdit}) {
        ASSERT_TRUE(m_standin.Install(library));
        EXPECT_FALSE(StartMonitoring());
        EXPECT_EQ(nullptr, g_pMonitorThread);
        EXPECT_EQ(nullptr, g_hStopEvent);
        CheckConnections(); // does nothing, posts nothing
        EXPECT_TRUE(NothingPosted());
    }
    ASSERT_TRUE(m_standin.Place(RasLibrary::Full));
    EXPECT_TRUE(StartMonitoring()) << "the next start loads the library again";
}

TEST_F(MonitorTest, ManyStartsAndStopsLeaveNoHandleBehind) {
    ASSERT_TRUE(m_standin.Install(RasLibrary::Full));
    ASSERT_TRUE(StartMonitoring()); // loads the library and everything it holds
    StopMonitoring();
    size_t before = ProcessHandleCount(::GetCurrentProcessId());
    ASSERT_GT(before, 0u);
    for (int i = 0; i < 500; ++i) {
        ASSERT_TRUE(StartMonitoring());
        if (i % 50 == 0)
            m_standin.table.Up("Other", "10.0.0.2"); // a check in flight now and then
        StopMonitoring();
    }
    EXPECT_EQ(before, ProcessHandleCount(::GetCurrentProcessId()));
    EXPECT_FALSE(m_standin.Registered());
}
