// The monitored connection's state machine and the lines it logs.
#include "connection/connection.h"
#include "log_capture.h"

#include <gtest/gtest.h>

namespace {

// Each test starts from a freshly constructed connection's state.
class ConnectionTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_connection.m_dwFlags = kFlagLastCallFlag;
        g_connection.SetIPAddress("");
    }
};

} // namespace

TEST_F(ConnectionTest, ConstructionStateAndNames) {
    CAolConnection aol;
    EXPECT_EQ(0x02u, aol.m_dwFlags.load());
    EXPECT_EQ("AOL", aol.m_strName);
    EXPECT_EQ("AOL L2TP", aol.GetName());
    EXPECT_EQ("", aol.GetIPAddress());
    EXPECT_EQ(CDialupConnection::kNoConnection, aol.m_hConnection);
    EXPECT_FALSE(aol.IsDialed());
    EXPECT_FALSE(aol.HangUp());
    EXPECT_TRUE(aol.IsNamed("aol"));
    EXPECT_TRUE(aol.IsNamed("AOL"));
    EXPECT_FALSE(aol.IsNamed("AOL L2TP"));
    EXPECT_FALSE(aol.IsNamed(nullptr));

    CConnection unnamed(nullptr);
    EXPECT_EQ("", unnamed.m_strName);
    EXPECT_EQ("", unnamed.GetName());
}

TEST_F(ConnectionTest, StateChangesAreEdgeTriggeredAndLoggedOnce) {
    CLogCapture log("state");
    g_connection.SetIPAddress("10.0.0.7");
    g_connection.SetConnected();
    EXPECT_EQ(0x03u, g_connection.m_dwFlags.load());
    g_connection.SetConnected();
    g_connection.SetDisconnected();
    EXPECT_EQ(0x02u, g_connection.m_dwFlags.load());
    g_connection.SetDisconnected();
    EXPECT_EQ("10.0.0.7", g_connection.GetIPAddress()) << "kept after disconnection";
    g_connection.SetIPAddress("10.0.0.5");
    g_connection.SetConnected();

    std::vector<std::string> expected = {
        "'AOL': connected to the Internet. IP address: 10.0.0.7.",
        "'AOL': disconnected from the Internet.",
        "'AOL': connected to the Internet. IP address: 10.0.0.5.",
    };
    EXPECT_EQ(expected, log.Messages());
}

TEST_F(ConnectionTest, DisabledLogStillChangesStateButWritesNothing) {
    CLogCapture log("disabled", FALSE);
    g_connection.SetConnected();
    EXPECT_EQ(0x03u, g_connection.m_dwFlags.load());
    g_connection.SetDisconnected();
    EXPECT_EQ(0x02u, g_connection.m_dwFlags.load());
    EXPECT_TRUE(log.Messages().empty());
}

TEST_F(ConnectionTest, FlagWordFollowsTheCallArguments) {
    CConnection c("x");
    c.m_dwFlags = 0x10; // down, with bit 4 set
    c.OnConnected(FALSE);
    EXPECT_EQ(0x01u, c.m_dwFlags.load());
    c.m_dwFlags = 0x1F;
    c.OnDisconnected(TRUE);
    EXPECT_EQ(0x02u, c.m_dwFlags.load());
    c.m_dwFlags = 0x13;
    c.SetDisconnected();
    EXPECT_EQ(0x02u, c.m_dwFlags.load());
}

namespace {
// Reads the address until told to stop; exit code 1 when it ever saw a torn value.
DWORD WINAPI ReadAddressesUntilStopped(void* stop) {
    while (!*static_cast<volatile bool*>(stop)) {
        std::string ip = g_connection.GetIPAddress();
        if (!ip.empty() && ip != "10.1.1.1" && ip != "192.168.100.200")
            return 1;
    }
    return 0;
}
} // namespace

TEST_F(ConnectionTest, AddressIsSafeToStoreWhileAnotherThreadReadsIt) {
    volatile bool stop = false;
    HANDLE reader =
        ::CreateThread(nullptr, 0, ReadAddressesUntilStopped, const_cast<bool*>(&stop), 0, nullptr);
    ASSERT_NE(nullptr, reader);
    for (int i = 0; i < 20000; ++i)
        g_connection.SetIPAddress(i % 2 ? "10.1.1.1" : "192.168.100.200");
    stop = true;
    ::WaitForSingleObject(reader, INFINITE);
    DWORD torn = 2;
    ::GetExitCodeThread(reader, &torn);
    ::CloseHandle(reader);
    EXPECT_EQ(0u, torn) << "a reader saw a half-written address";
}

TEST_F(ConnectionTest, DialupHandleFollowsDialAndHangUp) {
    CDialupConnection dialup("No Such Entry");
    // WinINet is loaded from the system directory on first use; a failed dial leaves no handle.
    if (!dialup.Dial(TRUE)) {
        EXPECT_EQ(CDialupConnection::kNoConnection, dialup.m_hConnection);
    }
    dialup.m_hConnection = 1234;
    EXPECT_TRUE(dialup.IsDialed());
    EXPECT_TRUE(dialup.HangUp());
    EXPECT_EQ(CDialupConnection::kNoConnection, dialup.m_hConnection);
}
