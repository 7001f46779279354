// The real Linkvigil.exe under Wine, driven from this process; the RAS stand-in plays RAS.
#include "aol_registration.h"
#include "app/resource.h"
#include "app_driver.h"
#include "program_texts.h"
#include "ras_standin.h"
#include "window_probe.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace {

using Lines = std::vector<std::string>;

class AppTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CRasStandin::OverrideActive()) << "run under wine-run";
        UnregisterAol();
        ASSERT_TRUE(m_standin.Install(RasLibrary::Full));
        m_dir = MakeScratchDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override { UnregisterAol(); }

    // Starts the program and waits for its window and its first list line.
    void Launch(const std::string& exeName = "Linkvigil.exe", const std::string& cwd = "") {
        ASSERT_TRUE(m_app.Start(m_dir, exeName, cwd));
        ASSERT_NE(nullptr, m_app.WaitForWindow());
        ASSERT_TRUE(WaitFor([&] { return !m_app.ListLines().empty(); }));
    }
    // Waits until the program's RAS library has registered for notifications.
    void WaitForRegistration() { ASSERT_TRUE(m_standin.WaitForRegistration()); }
    void CloseAndWait() {
        m_app.Close();
        ASSERT_TRUE(m_app.WaitForExit());
    }

    CRasStandin m_standin;
    CAppUnderTest m_app;
    std::string m_dir;
};

} // namespace

TEST_F(AppTest, StartupReportsWhetherAolIsInstalled) {
    struct Case {
        bool registered;
        const char* line;
    } cases[] = {{false, kNotInstalled}, {true, kInstalled}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        m_dir = MakeScratchDir(std::string("startup_") + (c.registered ? "aol" : "none"));
        if (c.registered) {
            ASSERT_TRUE(RegisterAol(CRasStandin::RasctlPath())); // any existing file counts
        }
        CAppUnderTest app;
        ASSERT_TRUE(app.Start(m_dir));
        ASSERT_NE(nullptr, app.WaitForWindow());
        EXPECT_TRUE(app.WaitForList({c.line}));
        EXPECT_TRUE(app.WaitForCaption(kStop));
        app.Close();
        ASSERT_TRUE(app.WaitForExit());
        EXPECT_EQ(Lines{c.line}, LogMessages(app.LogPath()));
        EXPECT_TRUE(AllLinesTimestamped(app.LogPath()));
        UnregisterAol();
    }
}

TEST_F(AppTest, ConnectionAlreadyUpIsReportedByTheStartupCheck) {
    m_standin.table.Up("Office", "192.168.1.9");
    m_standin.table.Up("AOL L2TP", "10.20.30.40");
    Launch();
    EXPECT_TRUE(m_app.WaitForList({kNotInstalled, ListUp("10.20.30.40")}));
    EXPECT_EQ(0u, m_standin.table.GetCounters().dwEnumCallsAtRegistration)
        << "looked before registering: a connection made in between would go unreported";
    CloseAndWait();
    EXPECT_EQ(
        (Lines{kNotInstalled, "Connectoid list:", "Office", "AOL L2TP", LogUp("10.20.30.40")}),
        LogMessages(m_app.LogPath()));
}

TEST_F(AppTest, ListIsSortedAndLogFollowsEachChange) {
    ASSERT_TRUE(RegisterAol(CRasStandin::RasctlPath()));
    Launch();
    WaitForRegistration();
    m_standin.table.Up("AOL L2TP", "10.0.0.7");
    ASSERT_TRUE(m_app.WaitForList({kInstalled, ListUp("10.0.0.7")}));
    m_standin.table.Down("AOL L2TP");
    ASSERT_TRUE(m_app.WaitForList({kInstalled, ListUp("10.0.0.7"), kListDown}));
    m_standin.table.Up("AOL L2TP", "10.0.0.5");
    EXPECT_TRUE(m_app.WaitForList({kInstalled, ListUp("10.0.0.5"), ListUp("10.0.0.7"), kListDown}));
    CloseAndWait();
    EXPECT_EQ((Lines{kInstalled, "Connectoid list:", "AOL L2TP", LogUp("10.0.0.7"), kLogDown,
                     "Connectoid list:", "AOL L2TP", LogUp("10.0.0.5")}),
              LogMessages(m_app.LogPath()));
}

TEST_F(AppTest, RepeatedConnectionMessagesAddListLinesButLogOnlyChanges) {
    Launch();
    WaitForRegistration();
    m_standin.table.Up("AOL L2TP", "10.0.0.7");
    ASSERT_TRUE(m_app.WaitForList({kNotInstalled, ListUp("10.0.0.7")}));
    // A second UP, as two checks before the first was handled post it: a second list line,
    // no second log line.
    ::PostMessageA(m_app.Window(), WM_APP + 1, 0, 0);
    ASSERT_TRUE(m_app.WaitForList({kNotInstalled, ListUp("10.0.0.7"), ListUp("10.0.0.7")}));
    m_standin.table.Down("AOL L2TP");
    ASSERT_TRUE(
        m_app.WaitForList({kNotInstalled, ListUp("10.0.0.7"), ListUp("10.0.0.7"), kListDown}));
    // DOWN while down: the list line again, nothing logged.
    ::PostMessageA(m_app.Window(), WM_APP + 2, 0, 0);
    ASSERT_TRUE(m_app.WaitForList(
        {kNotInstalled, ListUp("10.0.0.7"), ListUp("10.0.0.7"), kListDown, kListDown}));
    CloseAndWait();
    EXPECT_EQ((Lines{kNotInstalled, "Connectoid list:", "AOL L2TP", LogUp("10.0.0.7"), kLogDown}),
              LogMessages(m_app.LogPath()));
}

TEST_F(AppTest, FocusIsOnTheListAfterStartup) {
    Launch();
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    DWORD thread = ::GetWindowThreadProcessId(m_app.Window(), nullptr);
    ASSERT_TRUE(
        WaitFor([&] { return ::GetGUIThreadInfo(thread, &info) && info.hwndFocus != nullptr; }));
    EXPECT_EQ(::GetDlgItem(m_app.Window(), IDC_EVENT_LIST), info.hwndFocus) << "the first tab stop";
    CloseAndWait();
}

TEST_F(AppTest, IconIsTheWindowsDragIconAndIsPaintedWhileMinimised) {
    Launch();
    CWindowProbe probe(m_app.Window());
    ASSERT_TRUE(probe.Installed());

    WindowProbeAnswers open = {};
    ASSERT_TRUE(probe.Ask(open));
    ASSERT_NE(0, open.resourceIcon);
    EXPECT_EQ(open.resourceIcon, open.dragIcon);
    EXPECT_EQ(open.resourceIcon, open.bigIcon);
    EXPECT_EQ(open.resourceIcon, open.smallIcon);
    EXPECT_FALSE(open.iconic);
    EXPECT_EQ(0, open.iconBackgroundErases) << "an open window paints as a dialog does";
    EXPECT_EQ(0, open.iconsDrawn);

    // Minimised as the window menu does it.
    ::PostMessageA(m_app.Window(), WM_SYSCOMMAND, SC_MINIMIZE, 0);
    ASSERT_TRUE(WaitFor([&] { return ::IsIconic(m_app.Window()) != FALSE; }));
    WindowProbeAnswers minimised = {};
    ASSERT_TRUE(probe.Ask(minimised));
    EXPECT_TRUE(minimised.iconic);
    EXPECT_EQ(1, minimised.iconBackgroundErases);
    EXPECT_EQ(1, minimised.iconsDrawn);
    EXPECT_EQ(minimised.resourceIcon, minimised.drawnIcon);
    // Centred in whatever client area the system gives a minimised window.
    EXPECT_EQ((minimised.clientWidth - minimised.iconWidth + 1) / 2, minimised.drawnX);
    EXPECT_EQ((minimised.clientHeight - minimised.iconHeight + 1) / 2, minimised.drawnY);

    ::PostMessageA(m_app.Window(), WM_SYSCOMMAND, SC_RESTORE, 0);
    ASSERT_TRUE(WaitFor([&] { return !::IsIconic(m_app.Window()); }));
    CloseAndWait();
}

TEST_F(AppTest, LogLiesBesideTheExecutableWhateverTheWorkingDirectory) {
    std::string elsewhere = MakeScratchDir("elsewhere");
    Launch("Linkvigil.exe", elsewhere);
    CloseAndWait();
    EXPECT_EQ(Lines{kNotInstalled}, LogMessages(m_app.LogPath()));
    EXPECT_EQ("", ReadWholeFile(elsewhere + "\\LogFile.txt"));
}

TEST_F(AppTest, EarlierLogContentIsKept) {
    std::string earlier = "12/01/26 08:00:00 earlier run\r\n";
    HANDLE h = ::CreateFileA((m_dir + "\\LogFile.txt").c_str(), GENERIC_WRITE, 0, nullptr,
                             CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    ::WriteFile(h, earlier.data(), static_cast<DWORD>(earlier.size()), &written, nullptr);
    ::CloseHandle(h);
    Launch();
    CloseAndWait();
    EXPECT_EQ((Lines{"earlier run", kNotInstalled}), LogMessages(m_app.LogPath()));
}

// Each Start looks at once, after registering: a connection made or ended while monitoring
// was off is reported then, without waiting for a RAS event that may never come.
TEST_F(AppTest, ButtonStopsAndRestartsMonitoringAndTheRestartLooks) {
    Launch();
    EXPECT_TRUE(m_app.WaitForCaption(kStop));
    WaitForRegistration();
    // Started with no connection: the start-up look found nothing.
    ASSERT_TRUE(WaitFor([&] { return m_standin.table.GetCounters().dwEnumCalls >= 1; }));

    m_app.PressButton();
    EXPECT_EQ(kStart, m_app.ButtonCaption());
    EXPECT_TRUE(m_standin.table.GetRegistrations().empty()) << "the thread ended";
    DWORD checks = m_standin.table.GetCounters().dwEnumCalls;
    m_standin.table.Up(kAol, "10.0.0.7");
    m_standin.table.Down(kAol);
    m_standin.table.Up(kAol, "10.0.0.8");
    EXPECT_EQ(checks, m_standin.table.GetCounters().dwEnumCalls) << "no check while stopped";

    m_app.PressKey(VK_RETURN); // Enter presses the default button
    EXPECT_TRUE(m_app.WaitForCaption(kStop));
    EXPECT_TRUE(m_app.WaitForList({kNotInstalled, ListUp("10.0.0.8")}))
        << "a connection made while stopped is reported at the restart";
    EXPECT_EQ(checks, m_standin.table.GetCounters().dwEnumCallsAtRegistration)
        << "the restart looked before registering";

    // Dropped while stopped: reported at the restart too, before any other change.
    m_app.PressButton();
    EXPECT_EQ(kStart, m_app.ButtonCaption());
    m_standin.table.Down(kAol);
    m_app.PressButton();
    EXPECT_TRUE(m_app.WaitForList({kNotInstalled, ListUp("10.0.0.8"), kListDown}))
        << "a connection ended while stopped is reported at the restart";
    // A new session after that is a new connection, with its own address.
    m_standin.table.Up(kAol, "10.0.0.9");
    EXPECT_TRUE(
        m_app.WaitForList({kNotInstalled, ListUp("10.0.0.8"), ListUp("10.0.0.9"), kListDown}));
    CloseAndWait();
    EXPECT_EQ((Lines{kNotInstalled, kHeader, kAol, LogUp("10.0.0.8"), kLogDown, kHeader, kAol,
                     LogUp("10.0.0.9")}),
              LogMessages(m_app.LogPath()));
}

TEST_F(AppTest, EscapeAndTheCloseBoxEndTheProcessWithTheLogClosed) {
    for (bool escape : {true, false}) {
        SCOPED_TRACE(escape ? "Escape" : "close box");
        m_dir = MakeScratchDir(escape ? "close_escape" : "close_box");
        CAppUnderTest app;
        ASSERT_TRUE(app.Start(m_dir));
        ASSERT_NE(nullptr, app.WaitForWindow());
        ASSERT_TRUE(app.WaitForCaption(kStop));
        if (escape)
            app.PressKey(VK_ESCAPE);
        else
            app.Close();
        DWORD exitCode = 1;
        ASSERT_TRUE(app.WaitForExit(kPatienceMs, &exitCode));
        EXPECT_EQ(0u, exitCode);
        HANDLE exclusive = ::CreateFileA(app.LogPath().c_str(), GENERIC_WRITE, 0, nullptr,
                                         OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, exclusive) << "nobody holds the log any more";
        ::CloseHandle(exclusive);
        EXPECT_TRUE(m_standin.table.GetRegistrations().empty());
    }
}

// The shipped interval: one look at the start, then one every 2000 ms, so a run of t ms holds
// at most 1 + t / 2000 checks however the program was scheduled.
TEST_F(AppTest, PollingModeWithoutNotifications) {
    ASSERT_TRUE(m_standin.Install(RasLibrary::Poll));
    DWORD started = ::GetTickCount();
    Launch();
    EXPECT_TRUE(m_app.WaitForCaption(kStop));
    m_standin.table.Up("AOL L2TP", "10.0.0.3");
    EXPECT_TRUE(m_app.WaitForList({kNotInstalled, ListUp("10.0.0.3")}));
    m_standin.table.Down("AOL L2TP");
    EXPECT_TRUE(m_app.WaitForList({kNotInstalled, ListUp("10.0.0.3"), kListDown}));
    CloseAndWait();
    DWORD elapsed = ::GetTickCount() - started;
    EXPECT_LE(m_standin.table.GetCounters().dwEnumCalls, 1 + elapsed / 2000) << elapsed << " ms";
}

// RAS that exports the registration but refuses it, as Wine's own does: the program polls
// instead, so that the button's "Stop Monitoring" is true, and Stop ends the polling.
TEST_F(AppTest, RefusedNotificationsAreReplacedByPolling) {
    rasstub::Faults faults = {};
    faults.dwNotifyError = ERROR_INVALID_FUNCTION;
    m_standin.table.SetFaults(faults);
    Launch();
    EXPECT_TRUE(m_app.WaitForCaption(kStop));
    m_standin.table.Up(kAol, "10.0.0.6");
    EXPECT_TRUE(m_app.WaitForList({kNotInstalled, ListUp("10.0.0.6")}))
        << "no check after the refused registration";
    m_standin.table.Down(kAol);
    EXPECT_TRUE(m_app.WaitForList({kNotInstalled, ListUp("10.0.0.6"), kListDown}));
    EXPECT_EQ(0u, m_standin.table.GetCounters().dwSignals);

    // The caption follows once the thread has been waited for: a poll that went on would
    // hang the press.
    m_app.PressButton();
    EXPECT_EQ(kStart, m_app.ButtonCaption());
    CloseAndWait();
}

// Started while the client dials, and the dial given up before an address came: nothing is
// reported, and the program stops looking again once the entry is gone.
TEST_F(AppTest, DialAbandonedBeforeItsAddressReportsNothing) {
    m_standin.table.Up(kAol, "10.0.0.9", false);
    Launch();
    WaitForRegistration();
    ASSERT_TRUE(WaitFor([&] { return m_standin.table.GetCounters().dwEnumCalls >= 2; }))
        << "the address pending at start-up was not looked at again";
    m_standin.table.Down(kAol);
    DWORD gone = m_standin.table.GetCounters().dwChanges;
    ASSERT_TRUE(WaitFor([&] { return m_standin.table.GetCounters().dwEnumSeen >= gone; }));
    DWORD checks = m_standin.table.GetCounters().dwEnumCalls;
    ::Sleep(5000); // more than two polling intervals
    EXPECT_EQ(checks, m_standin.table.GetCounters().dwEnumCalls) << "looked again for nothing";
    EXPECT_EQ(Lines{kNotInstalled}, m_app.ListLines());
    CloseAndWait();
    for (const std::string& line : LogMessages(m_app.LogPath()))
        EXPECT_TRUE(line == kNotInstalled || line == kHeader || line == kAol) << line;
}

TEST_F(AppTest, LibraryThatCannotBeLoadedLeavesMonitoringOffAndEachPressTriesAgain) {
    ASSERT_TRUE(m_standin.Install(RasLibrary::NoEdit));
    Launch();
    EXPECT_TRUE(m_app.WaitForCaption(kStart));
    EXPECT_EQ(nullptr, m_app.FindMessageBox()) << "no message for a missing library";
    m_app.PressButton();
    EXPECT_EQ(kStart, m_app.ButtonCaption());
    EXPECT_EQ(nullptr, m_app.FindMessageBox());

    ASSERT_TRUE(CRasStandin::Place(RasLibrary::Full));
    m_app.PressButton();
    EXPECT_EQ(kStop, m_app.ButtonCaption());
    WaitForRegistration();
    m_standin.table.Up("AOL L2TP", "10.0.0.4");
    EXPECT_TRUE(m_app.WaitForList({kNotInstalled, ListUp("10.0.0.4")}));
    CloseAndWait();
}

TEST_F(AppTest, MessageBoxCaptionFollowsTheExecutableName) {
    CHelpEngineHidden noHelp;
    ASSERT_TRUE(noHelp.Hid());
    Launch("Renamed Watcher.exe");
    m_app.TypeKey(VK_F1);
    HWND box = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (box = m_app.FindMessageBox()) != nullptr; }));
    EXPECT_EQ("Renamed Watcher", CAppUnderTest::WindowText(box));
    EXPECT_EQ("Failed to launch help.", CAppUnderTest::MessageBoxText(box));
    ::PostMessageA(box, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(WaitFor([&] { return m_app.FindMessageBox() == nullptr; }));
    CloseAndWait();
    EXPECT_EQ(Lines{kNotInstalled}, LogMessages(m_dir + "\\LogFile.txt"));
}

// The end of a Windows session, as Windows ends it: a query, which must never block the
// logoff, then the end itself, after which Windows ends the process without destroying the
// window. Under Wine the test sends both messages itself and the program must end by itself;
// what Windows does after the end message (ending the process) is not shown here.
TEST_F(AppTest, EndOfTheSessionStopsMonitoringAndClosesTheLogAsClosingDoes) {
    m_standin.table.Up(kAol, "10.0.0.3");
    Launch();
    ASSERT_TRUE(m_app.WaitForList({kNotInstalled, ListUp("10.0.0.3")}));
    WaitForRegistration();
    DWORD_PTR answer = 0;
    auto send = [&](UINT message, WPARAM wParam) {
        return ::SendMessageTimeoutA(m_app.Window(), message, wParam, ENDSESSION_LOGOFF,
                                     SMTO_NORMAL, kPatienceMs, &answer) != 0;
    };

    // A session that goes on after all changes nothing.
    ASSERT_TRUE(send(WM_QUERYENDSESSION, 0));
    EXPECT_EQ(TRUE, static_cast<BOOL>(answer)) << "the logoff was blocked";
    ASSERT_TRUE(send(WM_ENDSESSION, FALSE));
    EXPECT_FALSE(m_app.WaitForExit(0));
    EXPECT_EQ(kStop, m_app.ButtonCaption());
    m_standin.table.Down(kAol);
    ASSERT_TRUE(m_app.WaitForList({kNotInstalled, ListUp("10.0.0.3"), kListDown}))
        << "still monitoring";

    ASSERT_TRUE(send(WM_QUERYENDSESSION, 0));
    EXPECT_EQ(TRUE, static_cast<BOOL>(answer));
    // By the time the end message returns, monitoring has stopped and the log is closed.
    ASSERT_TRUE(send(WM_ENDSESSION, TRUE));
    EXPECT_TRUE(m_standin.table.GetRegistrations().empty()) << "still registered with RAS";
    HANDLE exclusive = ::CreateFileA(m_app.LogPath().c_str(), GENERIC_WRITE, 0, nullptr,
                                     OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(INVALID_HANDLE_VALUE, exclusive) << "the log is still held";
    ::CloseHandle(exclusive);
    EXPECT_EQ(nullptr, m_app.FindMessageBox());
    DWORD exitCode = 1;
    ASSERT_TRUE(m_app.WaitForExit(kPatienceMs, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ((Lines{kNotInstalled, kHeader, kAol, LogUp("10.0.0.3"), kLogDown}),
              LogMessages(m_app.LogPath()));
    EXPECT_TRUE(AllLinesTimestamped(m_app.LogPath()));
}
