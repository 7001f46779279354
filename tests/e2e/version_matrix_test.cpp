// The core of the end-to-end tests once per Windows version the program is for: Wine shows
// the program (by its file name) the version under test, and the program must start, report
// a connection up with its address and down again, stop and restart monitoring and end with
// exit code 0 on each. The Windows 9x family alone waits 3 s between a RAS event and its check.
#include "app_driver.h"
#include "program_texts.h"
#include "ras_standin.h"
#include "shown_version.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

struct WindowsVersion {
    const char* name; // as Wine's Version setting spells it
    bool windows9x;
};

const char kAppPathsAol[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\aol.exe";

// Between a RAS event and the check it causes: at least the 3000 ms sleep on the 9x family;
// elsewhere a thread wake-up. The bound sits where neither can reach it: a sleep does not end
// a quarter of a second early, and a thread waiting on an event is not kept from running for
// that long.
constexpr double kSettleBoundSeconds = 2.75;

// Named by its version in test names and messages (not by its bytes, which hold a pointer).
void PrintTo(const WindowsVersion& version, std::ostream* os) {
    *os << version.name;
}

class VersionMatrix : public ::testing::TestWithParam<WindowsVersion> {
protected:
    void SetUp() override {
        ASSERT_TRUE(CRasStandin::OverrideActive()) << "run under wine-run";
        ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kAppPathsAol);
        ASSERT_TRUE(m_version.IsSet());
        ASSERT_TRUE(m_standin.Install(RasLibrary::Full));
        m_dir = MakeScratchDir(std::string("matrix_") + GetParam().name);
    }

    bool Registered() { return m_standin.Registered(m_app.ProcessId()); }

    // Seconds from the stand-in's last signal to the enumeration that answered the check it
    // caused, as both processes read the performance counter.
    double SecondsFromSignalToCheck() {
        rasstub::Counters counters = m_standin.table.GetCounters();
        LARGE_INTEGER frequency = {};
        ::QueryPerformanceFrequency(&frequency);
        return static_cast<double>(counters.llLastEnumQpc - counters.llLastSignalQpc) /
               static_cast<double>(frequency.QuadPart);
    }

    void ExpectSettleDelayOnlyOn9x(const char* event) {
        double seconds = SecondsFromSignalToCheck();
        if (GetParam().windows9x)
            EXPECT_GE(seconds, kSettleBoundSeconds) << event << ": no settle delay on 9x";
        else
            EXPECT_LT(seconds, kSettleBoundSeconds) << event << ": settle delay outside 9x";
    }

    CShownWindowsVersion m_version{"Linkvigil.exe", GetParam().name};
    CRasStandin m_standin;
    CAppUnderTest m_app;
    std::string m_dir;
};

} // namespace

TEST_P(VersionMatrix, StartsReportsUpAndDownRestartsAndExits) {
    ASSERT_TRUE(m_app.Start(m_dir));
    ASSERT_NE(nullptr, m_app.WaitForWindow());
    EXPECT_TRUE(m_app.WaitForList({kNotInstalled}));
    ASSERT_TRUE(m_app.WaitForCaption(kStop));
    ASSERT_TRUE(WaitFor([&] { return Registered(); }));

    m_standin.table.Up(kAol, "10.0.0.7");
    ASSERT_TRUE(m_app.WaitForList({kNotInstalled, ListUp("10.0.0.7")}));
    ExpectSettleDelayOnlyOn9x("connection up");
    m_standin.table.Down(kAol);
    ASSERT_TRUE(m_app.WaitForList({kNotInstalled, ListUp("10.0.0.7"), kListDown}));
    ExpectSettleDelayOnlyOn9x("connection down");

    m_app.PressButton();
    EXPECT_EQ(kStart, m_app.ButtonCaption());
    EXPECT_TRUE(WaitFor([&] { return !Registered(); })) << "the monitor thread ended";
    m_app.PressButton();
    EXPECT_EQ(kStop, m_app.ButtonCaption());
    ASSERT_TRUE(WaitFor([&] { return Registered(); }));
    m_standin.table.Up(kAol, "10.0.0.8");
    EXPECT_TRUE(
        m_app.WaitForList({kNotInstalled, ListUp("10.0.0.7"), ListUp("10.0.0.8"), kListDown}));

    m_app.Close();
    DWORD exitCode = 1;
    ASSERT_TRUE(m_app.WaitForExit(20000, &exitCode));
    EXPECT_EQ(0u, exitCode);
    EXPECT_EQ((Lines{kNotInstalled, kHeader, kAol, LogUp("10.0.0.7"), kLogDown, kHeader, kAol,
                     LogUp("10.0.0.8")}),
              LogMessages(m_app.LogPath()));
}

INSTANTIATE_TEST_SUITE_P(
    Windows, VersionMatrix,
    ::testing::Values(WindowsVersion{"win95", true}, WindowsVersion{"win98", true},
                      WindowsVersion{"winme", true}, WindowsVersion{"nt40", false},
                      WindowsVersion{"win2k", false}, WindowsVersion{"winxp", false},
                      WindowsVersion{"win7", false}, WindowsVersion{"win10", false}),
    [](const ::testing::TestParamInfo<WindowsVersion>& info) {
        return std::string(info.param.name);
    });
