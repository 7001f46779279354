// The RAS loader and the connection enumeration, run against the builds of the RAS stand-in
// installed where the program looks for RASAPI32.DLL. The stand-in's own answers are tested
// in tests/rasstub.
#include "connection/connection.h"
#include "ras/ras_api.h"
#include "ras_standin.h"

#include <gtest/gtest.h>

#include <malloc.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

struct FreeDeleter {
    void operator()(RASCONN* p) const { std::free(p); }
};
using RecordBuffer = std::unique_ptr<RASCONN, FreeDeleter>;

// Enumerates as the connection check does; *buffer stays null when no buffer came back.
DWORD Enumerate(RecordBuffer* buffer) {
    RASCONN* list = nullptr;
    DWORD count = EnumRasConnections(&list);
    buffer->reset(list);
    return count;
}

size_t BufferSize(const RecordBuffer& buffer) {
    return _msize(buffer.get());
}

// Every byte after the first record's size field is zero.
bool ZeroBeyondSizeField(const RecordBuffer& buffer) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(buffer.get());
    for (size_t i = sizeof(DWORD); i < BufferSize(buffer); ++i) {
        if (bytes[i] != 0)
            return false;
    }
    return buffer->dwSize == sizeof(RASCONN);
}

class RasApiTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CRasStandin::OverrideActive()) << "run through wine-run (rasapi32=n,b)";
        ASSERT_TRUE(m_ras.table.IsOpen());
        ASSERT_TRUE(m_ras.Install(RasLibrary::Full));
        ASSERT_TRUE(LoadRasApi());
    }

    DWORD EnumCalls() { return m_ras.table.GetCounters().dwEnumCalls; }

    CRasStandin m_ras;
};

} // namespace

TEST_F(RasApiTest, EachLibraryLoadsOnlyWithTheRequiredEntryPoints) {
    struct Case {
        RasLibrary library;
        BOOL loads;
        bool notification;
    } cases[] = {
        {RasLibrary::Full, TRUE, true},     {RasLibrary::Poll, TRUE, false},
        {RasLibrary::NoEdit, FALSE, false}, {RasLibrary::Missing, FALSE, false},
        {RasLibrary::Wine, TRUE, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.library));
        ASSERT_TRUE(m_ras.Install(c.library));
        EXPECT_EQ(c.loads, LoadRasApi());
        EXPECT_EQ(c.loads, LoadRasApi()) << "a second call agrees";
        EXPECT_EQ(c.loads, RasGetProjectionInfoA != nullptr);
        EXPECT_EQ(c.loads, RasEnumConnectionsA != nullptr);
        EXPECT_EQ(c.loads, RasEnumEntriesA != nullptr);
        EXPECT_EQ(c.loads, RasEditPhonebookEntryA != nullptr);
        EXPECT_EQ(c.loads, RasGetEntryPropertiesA != nullptr);
        EXPECT_EQ(c.notification, RasConnectionNotificationA != nullptr);
        RecordBuffer buffer;
        EXPECT_EQ(0u, Enumerate(&buffer));
        EXPECT_EQ(c.loads, buffer != nullptr);
    }
}

TEST_F(RasApiTest, FailedLoadIsRetriedOnEveryCall) {
    ASSERT_TRUE(m_ras.Install(RasLibrary::Missing));
    EXPECT_FALSE(LoadRasApi());
    // No unloading in between: only the file changes.
    ASSERT_TRUE(CRasStandin::Place(RasLibrary::NoEdit));
    EXPECT_FALSE(LoadRasApi());
    ASSERT_TRUE(CRasStandin::Place(RasLibrary::Full));
    EXPECT_TRUE(LoadRasApi());
    EXPECT_NE(nullptr, RasConnectionNotificationA);
}

TEST_F(RasApiTest, LibraryBesideTheExecutableIsNeverLoaded) {
    ASSERT_TRUE(m_ras.Install(RasLibrary::Missing));
    char exe[MAX_PATH];
    DWORD length = ::GetModuleFileNameA(nullptr, exe, MAX_PATH);
    std::string planted = std::string(exe, length);
    planted = planted.substr(0, planted.find_last_of("\\/") + 1) + "rasapi32.dll";
    ASSERT_TRUE(
        ::CopyFileA(CRasStandin::BuildPath(RasLibrary::Full).c_str(), planted.c_str(), FALSE));
    EXPECT_FALSE(LoadRasApi());
    ::DeleteFileA(planted.c_str());
}

TEST_F(RasApiTest, NoConnectionGivesTheFirstBufferEmpty) {
    RecordBuffer buffer;
    EXPECT_EQ(0u, Enumerate(&buffer));
    ASSERT_NE(nullptr, buffer);
    EXPECT_EQ(10 * sizeof(RASCONN), BufferSize(buffer));
    EXPECT_TRUE(ZeroBeyondSizeField(buffer));
    EXPECT_EQ(1u, EnumCalls());
}

TEST_F(RasApiTest, MoreThanTenConnectionsTakeASecondCallWithTheSizeAskedFor) {
    for (DWORD total : {11u, 4096u}) {
        SCOPED_TRACE(total);
        m_ras.table.Reset();
        ASSERT_EQ(total, m_ras.table.UpMany(total, "Dial "));
        std::vector<rasstub::Connection> listed = m_ras.table.GetConnections();

        RecordBuffer buffer;
        ASSERT_EQ(total, Enumerate(&buffer));
        EXPECT_EQ(total * sizeof(RASCONN), BufferSize(buffer));
        EXPECT_EQ(2u, EnumCalls());
        for (DWORD i = 0; i < total; ++i) {
            const RASCONN& record = buffer.get()[i];
            ASSERT_EQ(sizeof(RASCONN), record.dwSize) << i;
            ASSERT_EQ(listed[i].hConnection, reinterpret_cast<ULONG_PTR>(record.hrasconn)) << i;
            ASSERT_STREQ(("Dial " + std::to_string(i + 1)).c_str(), record.szEntryName);
        }
    }
}

TEST_F(RasApiTest, BrokenRepliesNeverReachBeyondTheBuffer) {
    constexpr long long kNone = -1;
    struct Case {
        const char* what;
        DWORD connections;
        DWORD error;
        long long size, count; // the fault; kNone: not set
        DWORD expectedCount;
        size_t expectedBuffer; // 0: no buffer
    };
    constexpr size_t kRecord = sizeof(RASCONN);
    const Case cases[] = {
        {"count beyond the first buffer", 3, 0, kNone, 1000, 10, 10 * kRecord},
        {"count beyond the second buffer", 11, 0, kNone, 1000, 11, 11 * kRecord},
        {"too small, asking for less than a record", 11, ERROR_BUFFER_TOO_SMALL, 100, kNone, 0, 0},
        {"too small, asking one byte short", 11, ERROR_BUFFER_TOO_SMALL, kRecord - 1, kNone, 0, 0},
        {"too small, asking for 2 GiB", 11, ERROR_BUFFER_TOO_SMALL, 0x7FFFFFFF, kNone, 0, 0},
        {"out of memory, asking for 4 GiB", 11, ERROR_NOT_ENOUGH_MEMORY, 0xFFFFFFFF, kNone, 0, 0},
        {"out of memory, asking for just over 16 MiB", 1, ERROR_NOT_ENOUGH_MEMORY,
         16 * 1024 * 1024 + 1, kNone, 0, 0},
        {"too small on every call: no record", 11, ERROR_BUFFER_TOO_SMALL, 500, kNone, 0, 500},
        {"other error", 2, ERROR_INVALID_SIZE, kNone, kNone, 0, 10 * kRecord},
        {"other error with a count", 2, ERROR_INVALID_PARAMETER, kNone, 5, 5, 10 * kRecord},
        {"other error, huge count", 2, ERROR_INVALID_PARAMETER, kNone, 0xFFFFFFFF, 10,
         10 * kRecord},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        m_ras.table.Reset();
        m_ras.table.UpMany(c.connections, "C");
        rasstub::Faults faults = {};
        faults.dwEnumError = c.error;
        faults.bEnumSize = c.size != kNone;
        faults.dwEnumSize = static_cast<DWORD>(c.size);
        faults.bCount = c.count != kNone;
        faults.dwCount = static_cast<DWORD>(c.count);
        m_ras.table.SetFaults(faults);

        RecordBuffer buffer;
        EXPECT_EQ(c.expectedCount, Enumerate(&buffer));
        EXPECT_EQ(c.expectedBuffer, buffer ? BufferSize(buffer) : 0);
        if (buffer && c.error != 0) {
            EXPECT_TRUE(ZeroBeyondSizeField(buffer)) << "a failed call writes no record";
        }
    }
}

TEST_F(RasApiTest, UnterminatedNameAndAddressAreReadToTheirFieldEnds) {
    const std::string name(300, 'N'), address = "1234567890123456789";
    m_ras.table.Up(name.c_str(), address.c_str());
    CConnection connection(name.substr(0, 257).c_str());
    RecordBuffer buffer;
    ASSERT_EQ(1u, Enumerate(&buffer));
    std::string found;
    EXPECT_TRUE(connection.FindConnection(1, buffer.get(), found));
    EXPECT_EQ(address.substr(0, 16), found);
}
