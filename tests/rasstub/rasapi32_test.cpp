// The RAS stand-in on its own: its entry points, loaded straight from the build and called
// with the records of the platform's <ras.h>, and rasctl.exe. Nothing of the program is linked
// in, so the program's tests, which trust the stand-in's answers, are judged by a witness that
// shares none of the program's declarations.
#include "framework/handle.h"
#include "standin_table.h"
#include "wait.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <ras.h>
#include <raserror.h>

#include <cstring>
#include <string>
#include <vector>

#ifndef RASSTUB_DIR
#error "RASSTUB_DIR must name the rasstub folder of the build"
#endif

namespace {

// The records of Windows 95 and NT 4.0, which the program passes: RASCONN is 412 bytes on
// 32-bit Windows (an 8-byte handle, packed to 4 bytes, would make it 416 built for 64-bit), and
// RASPPPIP 40. The platform's newest forms are longer.
constexpr DWORD kRasConnSize = sizeof(HRASCONN) == 4 ? 412 : 416;
constexpr DWORD kRasPppIpSize = 40;

constexpr BYTE kUntouched = 0xCC;

HRASCONN Handle(ULONG_PTR value) {
    return reinterpret_cast<HRASCONN>(value);
}

// A caller's buffer: filled with kUntouched, then the first record's dwSize field set.
std::vector<BYTE> Buffer(size_t size, DWORD recordSize) {
    std::vector<BYTE> buffer(size, kUntouched);
    std::memcpy(buffer.data(), &recordSize, sizeof recordSize);
    return buffer;
}

// The bytes from offset on still hold kUntouched.
bool UntouchedFrom(const std::vector<BYTE>& buffer, size_t offset) {
    for (size_t i = offset; i < buffer.size(); ++i) {
        if (buffer[i] != kUntouched)
            return false;
    }
    return true;
}

// Runs rasctl.exe with the arguments and returns its exit code.
DWORD Rasctl(const std::string& arguments) {
    std::string commandLine = "\"" RASSTUB_DIR "/rasctl.exe\" " + arguments;
    // Its usage text would only clutter the test's output.
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    CHandle hNul(::CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr));
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = startup.hStdError = hNul.Get();
    PROCESS_INFORMATION process = {};
    if (!::CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                          &startup, &process))
        return static_cast<DWORD>(-1);
    CHandle hProcess(process.hProcess), hThread(process.hThread);
    DWORD exitCode = static_cast<DWORD>(-1);
    if (::WaitForSingleObject(process.hProcess, kPatienceMs) == WAIT_OBJECT_0)
        ::GetExitCodeProcess(process.hProcess, &exitCode);
    return exitCode;
}

// Wine loads our rasapi32.dll instead of its own only with rasapi32=n,b (wine-run sets it).
bool OverrideActive() {
    char overrides[1024];
    DWORD length = ::GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
    return length > 0 && length < sizeof overrides &&
           std::strstr(overrides, "rasapi32=n") != nullptr;
}

template <typename T> void Resolve(HMODULE library, T& entryPoint, const char* name) {
    entryPoint = reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(library, name)));
}

// The full build of the stand-in, with the platform's prototypes of its entry points.
class RasStandinTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(OverrideActive()) << "run through wine-run (rasapi32=n,b)";
        ASSERT_TRUE(m_table.IsOpen());
        m_table.Reset();
        m_hLibrary = ::LoadLibraryA(RASSTUB_DIR "/full/rasapi32.dll");
        ASSERT_NE(nullptr, m_hLibrary);
        Resolve(m_hLibrary, m_enumConnections, "RasEnumConnectionsA");
        Resolve(m_hLibrary, m_getProjectionInfo, "RasGetProjectionInfoA");
        Resolve(m_hLibrary, m_connectionNotification, "RasConnectionNotificationA");
        ASSERT_NE(nullptr, m_enumConnections);
        ASSERT_NE(nullptr, m_getProjectionInfo);
        ASSERT_NE(nullptr, m_connectionNotification);
    }

    void TearDown() override {
        if (m_hLibrary != nullptr)
            ::FreeLibrary(m_hLibrary);
        m_table.Reset();
    }

    rasstub::CStandinTable m_table;
    HMODULE m_hLibrary = nullptr;
    decltype(&::RasEnumConnectionsA) m_enumConnections = nullptr;
    decltype(&::RasGetProjectionInfoA) m_getProjectionInfo = nullptr;
    decltype(&::RasConnectionNotificationA) m_connectionNotification = nullptr;
};

} // namespace

TEST_F(RasStandinTest, ProjectionAnswersByStateAndFault) {
    DWORD complete = m_table.Up("AOL L2TP", "10.1.2.3");
    DWORD pending = m_table.Up("Other", "10.9.9.9", false);
    struct Case {
        DWORD handle;
        DWORD fault;
        DWORD expected;
    } cases[] = {
        {complete, 0, 0},
        {pending, 0, ERROR_PROJECTION_NOT_COMPLETE},
        {0xBAD, 0, ERROR_INVALID_HANDLE},
        {complete, ERROR_PPP_NO_PROTOCOLS_CONFIGURED, ERROR_PPP_NO_PROTOCOLS_CONFIGURED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        rasstub::Faults faults = {};
        faults.dwProjectionError = c.fault;
        m_table.SetFaults(faults);
        RASPPPIPA projection = {};
        projection.dwSize = kRasPppIpSize;
        DWORD size = kRasPppIpSize;
        EXPECT_EQ(c.expected,
                  m_getProjectionInfo(Handle(c.handle), RASP_PppIp, &projection, &size));
        EXPECT_STREQ(c.expected == 0 ? "10.1.2.3" : "", projection.szIpAddress);
    }
    EXPECT_EQ(4u, m_table.GetCounters().dwProjectionCalls);
}

TEST_F(RasStandinTest, RegisteredEventsAreSignalledUntilUnregistered) {
    const HRASCONN anyConnection = Handle(reinterpret_cast<ULONG_PTR>(INVALID_HANDLE_VALUE));
    CHandle hEvent(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    ASSERT_EQ(0u, m_connectionNotification(anyConnection, hEvent.Get(),
                                           RASCN_Connection | RASCN_Disconnection));
    m_table.Up("AOL L2TP", "10.0.0.1", false);
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hEvent.Get(), kPatienceMs)) << "pending";
    m_table.Complete("AOL L2TP");
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hEvent.Get(), kPatienceMs)) << "complete";
    m_table.Down("AOL L2TP");
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hEvent.Get(), kPatienceMs)) << "down";
    rasstub::Counters counters = m_table.GetCounters();
    EXPECT_EQ(3u, counters.dwSignals);
    EXPECT_NE(0, counters.llLastSignalQpc);

    // From another process, as a person or a script drives it.
    EXPECT_EQ(0u, Rasctl("up \"AOL L2TP\" 10.0.0.2"));
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hEvent.Get(), kPatienceMs)) << "rasctl up";
    EXPECT_EQ(0u, Rasctl("down \"AOL L2TP\""));
    EXPECT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hEvent.Get(), kPatienceMs)) << "rasctl down";

    EXPECT_EQ(0u, m_connectionNotification(anyConnection, hEvent.Get(), 0));
    m_table.Up("AOL L2TP", "10.0.0.3");
    m_table.Down("AOL L2TP");
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(hEvent.Get(), 0));
    EXPECT_EQ(5u, m_table.GetCounters().dwSignals);

    rasstub::Faults faults = {};
    faults.dwNotifyError = ERROR_INVALID_FUNCTION;
    m_table.SetFaults(faults);
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_FUNCTION),
              m_connectionNotification(anyConnection, hEvent.Get(), 3));
    EXPECT_TRUE(m_table.GetRegistrations().empty());
}

// Real RAS promises no event when a connection's address arrives after the connection was
// made; the stand-in completes a projection that way when asked, and answers a pending one as
// RAS does.
TEST_F(RasStandinTest, ProjectionCompletesWithoutASignalWhenAsked) {
    static_assert(ERROR_PROJECTION_NOT_COMPLETE == 730, "as the platform SDK's raserror.h");
    const HRASCONN anyConnection = Handle(reinterpret_cast<ULONG_PTR>(INVALID_HANDLE_VALUE));
    CHandle hEvent(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    ASSERT_EQ(0u, m_connectionNotification(anyConnection, hEvent.Get(), RASCN_Connection));
    auto projection = [&](DWORD handle, std::string* address) {
        RASPPPIPA record = {};
        record.dwSize = kRasPppIpSize;
        DWORD size = kRasPppIpSize;
        DWORD result = m_getProjectionInfo(Handle(handle), RASP_PppIp, &record, &size);
        *address = record.szIpAddress;
        return result;
    };
    std::string address;

    DWORD first = m_table.Up("AOL L2TP", "10.0.0.1", false);
    DWORD second = m_table.Up("Second", "10.0.0.2", false);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(hEvent.Get(), kPatienceMs))
        << "pending is signalled";
    EXPECT_EQ(static_cast<DWORD>(ERROR_PROJECTION_NOT_COMPLETE), projection(first, &address));
    DWORD changes = m_table.GetCounters().dwChanges;

    EXPECT_TRUE(m_table.Complete("AOL L2TP", false));
    EXPECT_EQ(0u, Rasctl("complete Second --no-signal"));
    EXPECT_EQ(1u, Rasctl("complete Second --quiet"));
    EXPECT_EQ(1u, Rasctl("down Second --no-signal"));
    EXPECT_EQ(2u, Rasctl("complete NotListed --no-signal"));
    EXPECT_EQ(0u, projection(first, &address));
    EXPECT_EQ("10.0.0.1", address);
    EXPECT_EQ(0u, projection(second, &address));
    EXPECT_EQ("10.0.0.2", address);
    EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), ::WaitForSingleObject(hEvent.Get(), 0));
    rasstub::Counters counters = m_table.GetCounters();
    EXPECT_EQ(2u, counters.dwSignals) << "one per pending entry, none since";
    EXPECT_EQ(changes + 2, counters.dwChanges) << "a change all the same";
    EXPECT_EQ(0u, m_connectionNotification(anyConnection, hEvent.Get(), 0));
}

TEST_F(RasStandinTest, RasctlRejectsBadInput) {
    struct Case {
        const char* arguments;
        DWORD exitCode;
    } cases[] = {
        {"", 1},
        {"bogus", 1},
        {"up OnlyName", 1},
        {"down", 1},
        {"list extra", 1},
        {"fault", 1},
        {"fault enum x", 1},
        {"fault enum 603 -1", 1},
        {"fault count 12abc", 1},
        {"fault notify 0x100000000", 1},
        {"down NotListed", 2},
        {"fault enum 603 100", 0},
        {"fault count off", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.exitCode, Rasctl(c.arguments)) << c.arguments;
    rasstub::Faults faults = m_table.GetFaults();
    EXPECT_EQ(static_cast<DWORD>(ERROR_BUFFER_TOO_SMALL), faults.dwEnumError);
    EXPECT_EQ(100u, faults.dwEnumSize);
    EXPECT_FALSE(faults.bCount);
}

// The fields lie where the platform's newest form of RASCONN has them, records follow each
// other at the older size, nothing is written beyond the records listed, and a record of the
// newest size is refused.
TEST_F(RasStandinTest, EnumerationWritesTheRecordsOfWindows95AndNT4) {
    const DWORD handles[] = {m_table.Up("AOL L2TP", "10.1.2.3"), m_table.Up("Other", "10.4.5.6")};
    const char* const names[] = {"AOL L2TP", "Other"};
    DWORD size = kRasConnSize, count = 0;
    std::vector<BYTE> buffer = Buffer(3 * kRasConnSize, kRasConnSize);
    RASCONNA* records = reinterpret_cast<RASCONNA*>(buffer.data());
    EXPECT_EQ(static_cast<DWORD>(ERROR_BUFFER_TOO_SMALL),
              m_enumConnections(records, &size, &count));
    EXPECT_EQ(2 * kRasConnSize, size);
    EXPECT_EQ(2u, count);

    size = 3 * kRasConnSize;
    buffer = Buffer(3 * kRasConnSize, sizeof(RASCONNA));
    records = reinterpret_cast<RASCONNA*>(buffer.data());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_SIZE), m_enumConnections(records, &size, &count));
    EXPECT_TRUE(UntouchedFrom(buffer, sizeof(DWORD)));

    buffer = Buffer(3 * kRasConnSize, kRasConnSize);
    records = reinterpret_cast<RASCONNA*>(buffer.data());
    ASSERT_EQ(0u, m_enumConnections(records, &size, &count));
    EXPECT_EQ(2 * kRasConnSize, size);
    EXPECT_EQ(2u, count);
    for (DWORD i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        RASCONNA record = {};
        std::memcpy(&record, buffer.data() + i * kRasConnSize, kRasConnSize);
        EXPECT_EQ(kRasConnSize, record.dwSize);
        // Copied out first: built for 64-bit, the packed field is not aligned for a reference.
        const HRASCONN handle = record.hrasconn;
        EXPECT_EQ(Handle(handles[i]), handle);
        EXPECT_STREQ(names[i], record.szEntryName);
        EXPECT_STREQ("vpn", record.szDeviceType);
        EXPECT_STREQ("WAN Miniport (L2TP)", record.szDeviceName);
    }
    EXPECT_TRUE(UntouchedFrom(buffer, 2 * kRasConnSize));
}

// RASPPPIP likewise: the 40-byte record is filled and the bytes after it left alone, a shorter
// buffer is told the size, and the newest size is refused.
TEST_F(RasStandinTest, ProjectionWritesTheRecordOfWindows95AndNT4) {
    const HRASCONN connection = Handle(m_table.Up("AOL L2TP", "10.1.2.3"));
    DWORD size = kRasPppIpSize - 1;
    std::vector<BYTE> buffer = Buffer(sizeof(RASPPPIPA), kRasPppIpSize);
    EXPECT_EQ(static_cast<DWORD>(ERROR_BUFFER_TOO_SMALL),
              m_getProjectionInfo(connection, RASP_PppIp, buffer.data(), &size));
    EXPECT_EQ(kRasPppIpSize, size);

    size = sizeof(RASPPPIPA);
    buffer = Buffer(sizeof(RASPPPIPA), sizeof(RASPPPIPA));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_SIZE),
              m_getProjectionInfo(connection, RASP_PppIp, buffer.data(), &size));
    EXPECT_TRUE(UntouchedFrom(buffer, sizeof(DWORD)));

    buffer = Buffer(sizeof(RASPPPIPA), kRasPppIpSize);
    ASSERT_EQ(0u, m_getProjectionInfo(connection, RASP_PppIp, buffer.data(), &size));
    EXPECT_EQ(kRasPppIpSize, size);
    RASPPPIPA record = {};
    std::memcpy(&record, buffer.data(), kRasPppIpSize);
    EXPECT_EQ(kRasPppIpSize, record.dwSize);
    EXPECT_EQ(0u, record.dwError);
    EXPECT_STREQ("10.1.2.3", record.szIpAddress);
    EXPECT_STREQ("192.0.2.1", record.szServerIpAddress);
    EXPECT_TRUE(UntouchedFrom(buffer, kRasPppIpSize));
}
