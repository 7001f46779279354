// An address that arrives after RAS signalled the connection: real RAS signals a connection
// made or ended and nothing when its IP projection completes later (the Windows 9x family
// signals before the connection is complete, and a slow link outlasts the settle delay). The
// stand-in completes the projection here without a signal, and the real program must still
// report the connection, on the NT family and with the 9x settle delay. Wine's RAS is a stub:
// that real RAS answers a pending projection with 730 and sends no second signal is the
// stand-in's word here, not Windows'.
#include "program_texts.h"
#include "shown_version_case.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

class LateAddress : public CShownVersionCase {
protected:
    LateAddress() : CShownVersionCase("late_") {}

    // The start-up line, the list of each check that saw "AOL L2TP", then its state line.
    static Lines LogOfChecksThenUp(DWORD checks, const std::string& ip) {
        Lines expected = {kNotInstalled};
        for (DWORD i = 0; i < checks; ++i)
            expected.insert(expected.end(), {kHeader, kAol});
        expected.push_back(LogUp(ip));
        return expected;
    }
};

} // namespace

TEST_P(LateAddress, ConnectionWhoseAddressArrivesAfterTheSignalIsReported) {
    ASSERT_TRUE(m_app.Start(m_dir));
    ASSERT_NE(nullptr, m_app.WaitForWindow());
    ASSERT_TRUE(m_app.WaitForList({kNotInstalled}));
    ASSERT_TRUE(WaitForRegistration());
    // The start-up check has seen the empty table: every later check sees the entry.
    ASSERT_TRUE(WaitFor([&] { return Counters().dwEnumCalls >= 1; }));

    m_standin.table.Up(kAol, "10.0.0.9", false); // listed, address pending; one signal
    ASSERT_TRUE(WaitFor([&] { return Counters().dwProjectionCalls >= 1; }))
        << "no check after the signal";
    rasstub::Counters signalled = Counters();
    if (GetParam().windows9x) {
        EXPECT_GE(SecondsFromSignalToCheck(signalled), kSettleBoundSeconds)
            << "no settle delay: not the 9x path";
    }
    ASSERT_TRUE(m_standin.table.Complete(kAol, false));
    EXPECT_TRUE(m_app.WaitForList({kNotInstalled, ListUp("10.0.0.9")}))
        << "the address that came without a signal was never reported";
    EXPECT_EQ(signalled.dwSignals, Counters().dwSignals) << "a signal since";

    m_app.Close();
    DWORD exitCode = 1;
    ASSERT_TRUE(m_app.WaitForExit(kPatienceMs, &exitCode));
    EXPECT_EQ(0u, exitCode);
    // Each check after the start-up one logs the list as ever, and the pending address cost
    // at least one check that no signal brought.
    DWORD checks = Counters().dwEnumCalls - 1;
    EXPECT_GE(checks, 2u);
    EXPECT_EQ(LogOfChecksThenUp(checks, "10.0.0.9"), LogMessages(m_app.LogPath()));
}

// Started while the client dials: the start-up check finds the entry listed without its
// address, and no signal follows when the address arrives. The program must look again.
TEST_P(LateAddress, ConnectionPendingAtStartUpIsReportedOnceItsAddressArrives) {
    m_standin.table.Up(kAol, "10.0.0.9", false); // before the program registers: no signal
    ASSERT_TRUE(m_app.Start(m_dir));
    ASSERT_NE(nullptr, m_app.WaitForWindow());
    ASSERT_TRUE(m_app.WaitForList({kNotInstalled}));
    ASSERT_TRUE(WaitForRegistration());
    ASSERT_TRUE(WaitFor([&] { return Counters().dwProjectionCalls >= 1; })) << "the start-up check";
    ASSERT_TRUE(m_standin.table.Complete(kAol, false));
    EXPECT_TRUE(m_app.WaitForList({kNotInstalled, ListUp("10.0.0.9")}))
        << "the connection pending at start-up was never reported";
    EXPECT_EQ(0u, Counters().dwSignals);

    m_app.Close();
    ASSERT_TRUE(m_app.WaitForExit());
    DWORD checks = Counters().dwEnumCalls;
    EXPECT_GE(checks, 2u);
    EXPECT_EQ(LogOfChecksThenUp(checks, "10.0.0.9"), LogMessages(m_app.LogPath()));
}

INSTANTIATE_TEST_SUITE_P(Windows, LateAddress,
                         ::testing::Values(WindowsVersion{"nt40", false},
                                           WindowsVersion{"win98", true}),
                         VersionName);
