// One check of a connection table against the monitored connection: what is posted, stored
// and logged. The projection entry point is a fake, so each case sets exactly what RAS says.
#include "connection/connection.h"
#include "framework/thread.h"
#include "log_capture.h"
#include "wait.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>

namespace {

// Projection replies by connection handle: an error where one is set, else an address, or
// "not complete" while still pending.
std::map<HRASCONN, std::string> g_projections;
std::map<HRASCONN, DWORD> g_projectionErrors;
std::map<HRASCONN, DWORD> g_negotiationErrors; // answered with the record's dwError set
int g_projectionCalls = 0;

DWORD WINAPI FakeProjection(HRASCONN handle, DWORD projection, void* info, DWORD* size) {
    ++g_projectionCalls;
    auto error = g_projectionErrors.find(handle);
    if (error != g_projectionErrors.end())
        return error->second;
    auto found = g_projections.find(handle);
    if (projection != RASP_PppIp || size == nullptr || *size != sizeof(RASPPPIP) ||
        found == g_projections.end())
        return ERROR_PROJECTION_NOT_COMPLETE;
    RASPPPIP* ip = static_cast<RASPPPIP*>(info);
    std::memset(ip->szIpAddress, 0, sizeof ip->szIpAddress);
    std::memcpy(ip->szIpAddress, found->second.data(),
                std::min(found->second.size(), sizeof ip->szIpAddress));
    auto negotiation = g_negotiationErrors.find(handle);
    if (negotiation != g_negotiationErrors.end())
        ip->dwError = negotiation->second;
    return 0;
}

RASCONN Record(const char* name, UINT_PTR handle) {
    RASCONN record = {};
    record.dwSize = sizeof record;
    record.hrasconn = reinterpret_cast<HRASCONN>(handle);
    std::strncpy(record.szEntryName, name, sizeof record.szEntryName - 1);
    return record;
}

class CheckTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_hWnd = ::CreateWindowA("STATIC", "check target", 0, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                                 nullptr);
        ASSERT_NE(nullptr, m_hWnd);
        SetThreadMainWindow(m_hWnd);
        m_savedProjection = RasGetProjectionInfoA;
        RasGetProjectionInfoA = FakeProjection;
        g_projections.clear();
        g_projectionErrors.clear();
        g_negotiationErrors.clear();
        g_projectionCalls = 0;
        g_connection.m_dwFlags = kFlagLastCallFlag;
        g_connection.SetIPAddress("");
    }
    void TearDown() override {
        RasGetProjectionInfoA = m_savedProjection;
        SetThreadMainWindow(nullptr);
        ::DestroyWindow(m_hWnd);
    }

    // The connection messages posted to the window so far, in order.
    std::vector<UINT> TakePosted() {
        std::vector<UINT> posted;
        MSG msg;
        while (::PeekMessageA(&msg, m_hWnd, WM_CONNECTION_UP, WM_CONNECTION_DOWN, PM_REMOVE)) {
            EXPECT_EQ(reinterpret_cast<WPARAM>(&g_connection), msg.wParam);
            EXPECT_EQ(0, msg.lParam);
            posted.push_back(msg.message);
        }
        return posted;
    }

    void Check(std::vector<RASCONN> records) {
        g_connection.UpdateState(static_cast<DWORD>(records.size()),
                                 records.empty() ? nullptr : records.data());
    }

    HWND m_hWnd = nullptr;
    PFN_RasGetProjectionInfoA m_savedProjection = nullptr;
};

using Posted = std::vector<UINT>;
using Lines = std::vector<std::string>;

} // namespace

TEST_F(CheckTest, EmptyTableWhileDownPostsAndLogsNothing) {
    CLogCapture log("check_empty_down");
    Check({});
    EXPECT_EQ(Posted{}, TakePosted());
    EXPECT_EQ(Lines{}, log.Messages());
}

TEST_F(CheckTest, EmptyTableWhileUpPostsDownWithoutAConnectoidList) {
    CLogCapture log("check_empty_up");
    g_connection.m_dwFlags = kFlagUp | kFlagLastCallFlag;
    Check({});
    EXPECT_EQ(Posted{WM_CONNECTION_DOWN}, TakePosted());
    EXPECT_EQ(Lines{}, log.Messages());
}

TEST_F(CheckTest, MatchIgnoresLetterCaseAndStoresTheAddressBeforePosting) {
    CLogCapture log("check_case");
    g_projections[reinterpret_cast<HRASCONN>(7)] = "10.20.30.40";
    Check({Record("Work VPN", 5), Record("aol l2tp", 7), Record("After", 9)});
    EXPECT_EQ(Posted{WM_CONNECTION_UP}, TakePosted());
    EXPECT_EQ("10.20.30.40", g_connection.GetIPAddress());
    EXPECT_EQ((Lines{"Connectoid list:", "Work VPN", "aol l2tp"}), log.Messages())
        << "records after the match are neither examined nor logged";
    EXPECT_EQ(0x02u, g_connection.m_dwFlags.load()) << "only the handler changes the state";
}

TEST_F(CheckTest, PendingProjectionIsReportedByTheNextCheckAfterItCompletes) {
    Check({Record("AOL L2TP", 3)});
    EXPECT_EQ(Posted{}, TakePosted());
    g_projections[reinterpret_cast<HRASCONN>(3)] = "172.16.0.1";
    Check({Record("AOL L2TP", 3)});
    EXPECT_EQ(Posted{WM_CONNECTION_UP}, TakePosted());
    EXPECT_EQ("172.16.0.1", g_connection.GetIPAddress());
}

// What the monitor thread learns from a check: the address is pending only while the first
// matching entry's projection answers "not complete"; every other failure counts as before.
TEST_F(CheckTest, AddressIsPendingOnlyWhileTheMatchsProjectionIsNotComplete) {
    // Handle 1 complete, 2 pending, 3 refused, 4 answered with a negotiation that failed.
    g_projections[reinterpret_cast<HRASCONN>(1)] = "10.0.0.1";
    // 731, the code after "not complete"
    g_projectionErrors[reinterpret_cast<HRASCONN>(3)] = ERROR_PROTOCOL_NOT_CONFIGURED;
    g_projections[reinterpret_cast<HRASCONN>(4)] = "0.0.0.0";
    g_negotiationErrors[reinterpret_cast<HRASCONN>(4)] = ERROR_PPP_NO_ADDRESS_ASSIGNED;
    struct Case {
        const char* name;
        bool up;
        std::vector<RASCONN> records;
        BOOL pending;
        Posted posted;
    } cases[] = {
        {"empty", false, {}, FALSE, {}},
        {"complete", false, {Record("AOL L2TP", 1)}, FALSE, {WM_CONNECTION_UP}},
        {"pending", false, {Record("AOL L2TP", 2)}, TRUE, {}},
        {"refused", false, {Record("AOL L2TP", 3)}, FALSE, {}},
        {"pending while up", true, {Record("AOL L2TP", 2)}, TRUE, {WM_CONNECTION_DOWN}},
        {"refused while up", true, {Record("AOL L2TP", 3)}, FALSE, {WM_CONNECTION_DOWN}},
        {"negotiation failed", false, {Record("AOL L2TP", 4)}, FALSE, {}},
        {"negotiation failed while up", true, {Record("AOL L2TP", 4)}, FALSE, {WM_CONNECTION_DOWN}},
        {"another entry pending", false, {Record("Office", 2)}, FALSE, {}},
        {"first match pending", false, {Record("AOL L2TP", 2), Record("AOL L2TP", 1)}, TRUE, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        g_connection.m_dwFlags = c.up ? kFlagUp | kFlagLastCallFlag : kFlagLastCallFlag;
        BOOL addressPending = 0xbd;
        g_connection.UpdateState(static_cast<DWORD>(c.records.size()),
                                 c.records.empty() ? nullptr : c.records.data(), &addressPending);
        EXPECT_EQ(c.pending, addressPending);
        EXPECT_EQ(c.posted, TakePosted());
    }

    std::string address = "untouched";
    DWORD error = 0xdeadbeef;
    RASCONN refusedRecord = Record("AOL L2TP", 3);
    EXPECT_FALSE(g_connection.FindConnection(1, &refusedRecord, address, &error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROTOCOL_NOT_CONFIGURED), error);
    EXPECT_EQ("untouched", address);
    RASCONN other = Record("Office", 1);
    EXPECT_FALSE(g_connection.FindConnection(1, &other, address, &error));
    EXPECT_EQ(0u, error) << "nothing matched, nothing asked";
}

TEST_F(CheckTest, OnlyTheFirstOfTwoMatchingEntriesCounts) {
    g_projections[reinterpret_cast<HRASCONN>(2)] = "10.0.0.2"; // the second one is complete
    Check({Record("AOL L2TP", 1), Record("AOL L2TP", 2)});
    EXPECT_EQ(Posted{}, TakePosted());
    EXPECT_EQ(1, g_projectionCalls);
}

TEST_F(CheckTest, NoMatchLogsEveryEntryAndPostsDownOnlyWhileUp) {
    CLogCapture log("check_nomatch");
    Check({Record("One", 1), Record("Two", 2)});
    EXPECT_EQ(Posted{}, TakePosted());
    g_connection.m_dwFlags = kFlagUp;
    Check({Record("One", 1), Record("Two", 2)});
    EXPECT_EQ(Posted{WM_CONNECTION_DOWN}, TakePosted());
    EXPECT_EQ((Lines{"Connectoid list:", "One", "Two", "Connectoid list:", "One", "Two"}),
              log.Messages());
}

TEST_F(CheckTest, AddressChangeWithoutDisconnectionGoesUnnoticed) {
    g_projections[reinterpret_cast<HRASCONN>(4)] = "10.0.0.7";
    Check({Record("AOL L2TP", 4)});
    ASSERT_EQ(Posted{WM_CONNECTION_UP}, TakePosted());
    g_connection.SetConnected();
    g_projections[reinterpret_cast<HRASCONN>(4)] = "10.0.0.99";
    Check({Record("AOL L2TP", 4)});
    EXPECT_EQ(Posted{}, TakePosted());
    EXPECT_EQ("10.0.0.7", g_connection.GetIPAddress());
}

TEST_F(CheckTest, TwoChecksBeforeTheHandlerRunsQueueTwoUps) {
    g_projections[reinterpret_cast<HRASCONN>(4)] = "10.0.0.7";
    Check({Record("AOL L2TP", 4)});
    Check({Record("AOL L2TP", 4)});
    EXPECT_EQ((Posted{WM_CONNECTION_UP, WM_CONNECTION_UP}), TakePosted());
}

TEST_F(CheckTest, EntryNamesAreLoggedLiterallyAndUnterminatedFieldsStayInside) {
    CLogCapture log("check_hostile");
    RASCONN percent = Record("100%s %d %n", 1);
    RASCONN unterminated = Record("", 2);
    std::memset(unterminated.szEntryName, 'x', sizeof unterminated.szEntryName);
    std::memset(unterminated.szDeviceType, 'y', sizeof unterminated.szDeviceType);
    Check({percent, unterminated});
    Lines lines = log.Messages();
    ASSERT_EQ(3u, lines.size());
    EXPECT_EQ("100%s %d %n", lines[1]);
    EXPECT_EQ(std::string(257, 'x'), lines[2]) << "the name ends with its field";
}

TEST_F(CheckTest, UnterminatedAddressIsCutAtItsField) {
    // An address field filled to the brim: 16 characters, nothing of the next field.
    g_projections[reinterpret_cast<HRASCONN>(6)] = "1234567890123456789";
    Check({Record("AOL L2TP", 6)});
    EXPECT_EQ(Posted{WM_CONNECTION_UP}, TakePosted());
    EXPECT_EQ("1234567890123456", g_connection.GetIPAddress());
}

namespace {

// A check on a thread of its own, posting to the test's window.
struct CheckWork {
    std::vector<RASCONN> records;
    HWND hWnd;
};

DWORD WINAPI RunCheck(void* param) {
    CheckWork* work = static_cast<CheckWork*>(param);
    SetThreadMainWindow(work->hWnd);
    g_connection.UpdateState(static_cast<DWORD>(work->records.size()), work->records.data());
    return 0;
}

} // namespace

TEST_F(CheckTest, NothingIsPostedBeforeTheAddressIsStored) {
    g_projections[reinterpret_cast<HRASCONN>(7)] = "10.20.30.41";
    CheckWork work{{Record("AOL L2TP", 7)}, m_hWnd};
    // The check runs on another thread while this one holds the address lock: it may find
    // and read the connection, but must not post before it has stored the address.
    g_connection.m_lock.Lock();
    HANDLE thread = ::CreateThread(nullptr, 0, RunCheck, &work, 0, nullptr);
    if (thread == nullptr)
        g_connection.m_lock.Unlock();
    ASSERT_NE(nullptr, thread);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(thread, 1000))
        << "the check waits for the address lock";
    EXPECT_EQ(Posted{}, TakePosted()) << "posted before the address was stored";
    g_connection.m_lock.Unlock();
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread, kPatienceMs));
    ::CloseHandle(thread);
    EXPECT_EQ(Posted{WM_CONNECTION_UP}, TakePosted());
    EXPECT_EQ("10.20.30.41", g_connection.GetIPAddress());
}
