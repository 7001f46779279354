// The core of the end-to-end tests once per Windows version the program is for: Wine shows
// the program (by its file name) the version under test, and the program must start, report
// a connection up with its address and down again, stop and restart monitoring and end with
// exit code 0 on each. The Windows 9x family alone waits 3 s between a RAS event and its check.
#include "program_texts.h"
#include "shown_version_case.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

class VersionMatrix : public CShownVersionCase {
protected:
    VersionMatrix() : CShownVersionCase("matrix_") {}

    // Notes how long the check that the last signal caused came after it.
    void NoteSettle(const char* event) {
        double seconds = SecondsFromSignalToCheck(Counters());
        std::printf("[ FIGURES  ] %s, %s: check %.1f ms after its signal\n", GetParam().name, event,
                    seconds * 1000);
        EXPECT_GT(seconds, 0.0) << event << ": no check since the signal";
        m_settleSeconds.push_back(seconds);
        if (GetParam().windows9x) {
            EXPECT_GE(seconds, kSettleBoundSeconds) << event << ": no settle delay on 9x";
        }
    }
    // Outside the 9x family a check comes a thread wake-up after its signal (0 to 4 ms beside
    // three busy loops on two cores, where the 9x checks came 3006 to 3053 ms after theirs).
    // The monitor thread has the lowest priority: Wine left its nice value at 0 there, but where
    // it lowers it, a busy machine, under emulation above all, can keep the thread waiting for
    // its turn. The settle delay would be in every check, a slow wake-up only in some: so the
    // quickest of the case's three checks is held to the bound. A program that slept 3000 ms
    // after every signal cannot pass it, and one late wake-up does not fail the case.
    void ExpectNoSettleDelayOutside9x() {
        ASSERT_FALSE(m_settleSeconds.empty());
        if (!GetParam().windows9x) {
            EXPECT_LT(*std::min_element(m_settleSeconds.begin(), m_settleSeconds.end()),
                      kSettleBoundSeconds)
                << "a settle delay after every signal outside 9x";
        }
    }

    std::vector<double> m_settleSeconds;
};

} // namespace

TEST_P(VersionMatrix, StartsReportsUpAndDownRestartsAndExits) {
    ASSERT_TRUE(m_app.Start(m_dir));
    ASSERT_NE(nullptr, m_app.WaitForWindow());
    EXPECT_TRUE(m_app.WaitForList({kNotInstalled}));
    ASSERT_TRUE(m_app.WaitForCaption(kStop));
    ASSERT_TRUE(WaitForRegistration());

    m_standin.table.Up(kAol, "10.0.0.7");
    ASSERT_TRUE(m_app.WaitForList({kNotInstalled, ListUp("10.0.0.7")}));
    NoteSettle("connection up");
    m_standin.table.Down(kAol);
    ASSERT_TRUE(m_app.WaitForList({kNotInstalled, ListUp("10.0.0.7"), kListDown}));
    NoteSettle("connection down");

    m_app.PressButton();
    EXPECT_EQ(kStart, m_app.ButtonCaption());
    EXPECT_TRUE(WaitFor([&] { return !Registered(); })) << "the monitor thread ended";
    m_app.PressButton();
    EXPECT_EQ(kStop, m_app.ButtonCaption());
    ASSERT_TRUE(WaitForRegistration());
    m_standin.table.Up(kAol, "10.0.0.8");
    EXPECT_TRUE(
        m_app.WaitForList({kNotInstalled, ListUp("10.0.0.7"), ListUp("10.0.0.8"), kListDown}));
    NoteSettle("connection up again");
    ExpectNoSettleDelayOutside9x();

    m_app.Close();
    DWORD exitCode = 1;
    ASSERT_TRUE(m_app.WaitForExit(kPatienceMs, &exitCode));
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
    VersionName);
