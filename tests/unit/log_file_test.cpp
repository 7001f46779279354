// The event log against real files under Wine: format, sharing, reopening, threads.
#include "log/log_file.h"

#include "files.h"
#include "log_text.h"

#include "wide_folders.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <regex>
#include <string>
#include <vector>

namespace {

// A file of the test's own in a scratch directory, removed afterwards.
class LogFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char& c : name)
            if (c == '/') // a parameterised test's
                c = '_';
        m_dir =
            std::string(temp) + "lv_log_" + std::to_string(::GetCurrentProcessId()) + "_" + name;
        ::CreateDirectoryA(m_dir.c_str(), nullptr);
        m_path = m_dir + "\\LogFile.txt";
        // Wine reuses process ids: a run ended before its TearDown (a time-out, a kill) can
        // have left this very file with older lines in it.
        ::DeleteFileA(m_path.c_str());
        ASSERT_FALSE(FileExists(m_path)) << "a leftover file that cannot be removed: " << m_path;
    }
    void TearDown() override {
        m_log.Close();
        ::DeleteFileA(m_path.c_str());
        ::RemoveDirectoryA(m_dir.c_str());
    }

    std::string m_dir;
    std::string m_path;
    CLogFile m_log;
};

const std::regex kTimestamp(R"(\d\d/\d\d/\d\d \d\d:\d\d:\d\d)");

std::string LocalTimestampNow() {
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    char text[kLogTimestampSize];
    FormatLogTimestamp(now, text);
    return text;
}

SYSTEMTIME ToSystemTime(const struct tm& local) {
    SYSTEMTIME st = {};
    st.wYear = static_cast<WORD>(local.tm_year + 1900);
    st.wMonth = static_cast<WORD>(local.tm_mon + 1);
    st.wDay = static_cast<WORD>(local.tm_mday);
    st.wHour = static_cast<WORD>(local.tm_hour);
    st.wMinute = static_cast<WORD>(local.tm_min);
    st.wSecond = static_cast<WORD>(local.tm_sec);
    return st;
}

} // namespace

TEST_F(LogFileTest, LinesCarryTimestampSpaceMessageAndCrlf) {
    ASSERT_EQ(1, m_log.SetPathAndOpen(m_path.c_str()));
    ASSERT_TRUE(FileExists(m_path));
    EXPECT_EQ("", ReadWholeFile(m_path)) << "the test open creates the file empty";
    EXPECT_EQ(INVALID_HANDLE_VALUE, m_log.m_hFile) << "and closes it again";

    std::string before = LocalTimestampNow();
    ASSERT_EQ(1, m_log.Write("first %d\n", 1));
    std::string after = LocalTimestampNow();
    ASSERT_EQ(1, m_log.WriteResource(371, "AOL", "10.20.30.40"));
    ASSERT_EQ(1, m_log.WriteResource(370, "AOL"));

    std::vector<std::string> lines = SplitCrlfLines(ReadWholeFile(m_path));
    ASSERT_EQ(3u, lines.size());
    for (const std::string& line : lines) {
        ASSERT_GE(line.size(), kMessageStart);
        EXPECT_TRUE(std::regex_match(line.substr(0, kTimestampWidth), kTimestamp)) << line;
        EXPECT_EQ(' ', line[kTimestampWidth]);
    }
    EXPECT_EQ("first 1", lines[0].substr(kMessageStart));
    EXPECT_TRUE(lines[0].substr(0, kTimestampWidth) == before ||
                lines[0].substr(0, kTimestampWidth) == after)
        << "the line is stamped with the local time of its writing: " << lines[0];
    EXPECT_EQ("'AOL': connected to the Internet. IP address: 10.20.30.40.",
              lines[1].substr(kMessageStart));
    EXPECT_EQ("'AOL': disconnected from the Internet.", lines[2].substr(kMessageStart));
}

TEST(LogTimestampTest, SameTextAsTheCLibraryWhereItCanConvert) {
    // A spread over the whole range the C library converts, each second of a day included.
    for (long long t = 0; t <= 0x7FFFFFFFLL; t += 86400LL * 37 + 3607) {
        time_t when = static_cast<time_t>(t);
        struct tm* local = std::localtime(&when);
        ASSERT_NE(nullptr, local) << t;
        char expected[128];
        ASSERT_EQ(kTimestampWidth, std::strftime(expected, sizeof expected, "%c", local)) << t;
        char text[kLogTimestampSize];
        ASSERT_EQ(kTimestampWidth, FormatLogTimestamp(ToSystemTime(*local), text)) << t;
        ASSERT_STREQ(expected, text) << t;
    }
}

TEST(LogTimestampTest, TimesAfter2038KeepTheirStamp) {
    struct Case {
        WORD year, month, day, hour, minute, second;
        const char* expected;
    } cases[] = {
        {2038, 1, 19, 3, 14, 8, "01/19/38 03:14:08"}, // one second past 32-bit time_t
        {2040, 2, 29, 12, 0, 0, "02/29/40 12:00:00"},
        {2099, 12, 31, 23, 59, 59, "12/31/99 23:59:59"},
        {2100, 1, 1, 0, 0, 0, "01/01/00 00:00:00"},
        {1999, 12, 31, 23, 59, 59, "12/31/99 23:59:59"},
    };
    for (const Case& c : cases) {
        SYSTEMTIME local = {};
        local.wYear = c.year;
        local.wMonth = c.month;
        local.wDay = c.day;
        local.wHour = c.hour;
        local.wMinute = c.minute;
        local.wSecond = c.second;
        char text[kLogTimestampSize];
        EXPECT_EQ(kTimestampWidth, FormatLogTimestamp(local, text)) << c.expected;
        EXPECT_STREQ(c.expected, text);
    }
    SYSTEMTIME broken = {};
    broken.wYear = 2026;
    broken.wMonth = 13;
    broken.wDay = 1;
    char text[kLogTimestampSize] = "x";
    EXPECT_EQ(0u, FormatLogTimestamp(broken, text)) << "a field out of range gives no stamp";
    EXPECT_STREQ("", text);
}

TEST_F(LogFileTest, ExistingContentIsKeptAndAppendedTo) {
    {
        FILE* f = std::fopen(m_path.c_str(), "wb");
        ASSERT_NE(nullptr, f);
        std::fputs("earlier line\r\nunfinished", f);
        std::fclose(f);
    }
    m_log.SetPathAndOpen(m_path.c_str());
    m_log.Write("next\n");
    std::string data = ReadWholeFile(m_path);
    ASSERT_EQ(0u, data.find("earlier line\r\nunfinished")) << data;
    EXPECT_EQ("next\r\n", data.substr(data.size() - 6));
}

TEST_F(LogFileTest, WriteBeforeAPathCreatesNothing) {
    EXPECT_EQ(0, m_log.Write("lost\n"));
    EXPECT_EQ(0, m_log.OpenIfClosed());
    EXPECT_EQ(INVALID_HANDLE_VALUE, m_log.m_hFile);
    EXPECT_FALSE(FileExists(m_path));
}

TEST_F(LogFileTest, OpenFailureIsSilentAndRetriedOnEveryWrite) {
    std::string missingDir = m_dir + "\\missing\\LogFile.txt";
    EXPECT_EQ(0, m_log.SetPathAndOpen(missingDir.c_str()));
    EXPECT_EQ(missingDir, std::string(m_log.m_strPath)) << "the path stays stored";
    EXPECT_EQ(0, m_log.Write("lost\n"));
    std::string sub = m_dir + "\\missing";
    ASSERT_TRUE(::CreateDirectoryA(sub.c_str(), nullptr));
    EXPECT_EQ(1, m_log.Write("found\n")) << "the next write tries the open again";
    m_log.Close();
    EXPECT_EQ("found\r\n", ReadWholeFile(missingDir).substr(kMessageStart));
    ::DeleteFileA(missingDir.c_str());
    ::RemoveDirectoryA(sub.c_str());
}

TEST_F(LogFileTest, HeldFileDeniesOtherWritersButNotReaders) {
    m_log.SetPathAndOpen(m_path.c_str());
    ASSERT_EQ(1, m_log.Write("held\n"));

    ::SetLastError(0xdeadbeef);
    HANDLE writer = ::CreateFileA(m_path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, writer);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), ::GetLastError());

    // A second log on the same file: every open fails, nothing is written.
    CLogFile second;
    EXPECT_EQ(0, second.SetPathAndOpen(m_path.c_str()));
    EXPECT_EQ(0, second.Write("second instance\n"));

    HANDLE reader = ::CreateFileA(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, reader);
    ASSERT_EQ(1, m_log.Write("seen at once\n"));
    // Everything the reader can see, however long the file is.
    std::string text;
    char buffer[4096];
    DWORD read = 0;
    while (::ReadFile(reader, buffer, sizeof buffer, &read, nullptr) && read > 0)
        text.append(buffer, read);
    ::CloseHandle(reader);
    EXPECT_NE(std::string::npos, text.find(" held\r\n"));
    EXPECT_NE(std::string::npos, text.find(" seen at once\r\n")) << "each line is flushed";
    EXPECT_EQ(std::string::npos, text.find("second instance"));
}

TEST_F(LogFileTest, CloseThenWriteReopensAndAppends) {
    m_log.SetPathAndOpen(m_path.c_str());
    m_log.Write("one\n");
    m_log.Close();
    EXPECT_EQ(INVALID_HANDLE_VALUE, m_log.m_hFile);
    m_log.Close(); // closing a closed log does nothing
    ASSERT_EQ(1, m_log.Write("two\n"));
    EXPECT_NE(INVALID_HANDLE_VALUE, m_log.m_hFile) << "the file stays open after a write";
    std::vector<std::string> lines = SplitCrlfLines(ReadWholeFile(m_path));
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("one", lines[0].substr(kMessageStart));
    EXPECT_EQ("two", lines[1].substr(kMessageStart));
}

TEST_F(LogFileTest, SetPathWhileOpenClosesWithoutOpeningTheNewPath) {
    m_log.SetPathAndOpen(m_path.c_str());
    m_log.Write("open\n");
    std::string other = m_dir + "\\Other.txt";
    EXPECT_EQ(1, m_log.SetPathAndOpen(other.c_str()));
    EXPECT_EQ(INVALID_HANDLE_VALUE, m_log.m_hFile);
    EXPECT_FALSE(FileExists(other));
    EXPECT_EQ(other, std::string(m_log.m_strPath));
}

// Folders named in letters that code page 1252 lacks ("Αθήνα", spelt "????a") or has only
// look-alikes for ("Łódź", spelt "Lódz", which here names another folder that exists): the
// wide path opens the folder as named. Wine converts the ANSI functions' paths through the
// code page as Windows does, so the ANSI failures below are Windows' too. CTest runs this
// under LC_ALL=C.UTF-8, where Wine's Unix side can name such files.
TEST_F(LogFileTest, WidePathsOutsideTheCodePageOpenTheFolderAsNamed) {
    CWideFolders folders(m_dir);
    if (std::string unavailable = folders.Make(); !unavailable.empty())
        GTEST_SKIP() << unavailable;
    const auto& [tree, greek, polish, lookAlike] = folders;

    for (const std::wstring& dir : {greek, polish}) {
        SCOPED_TRACE(Utf8(dir));
        const std::wstring path = dir + L"\\LogFile.txt";
        // The ANSI spelling names no file ("?") or the look-alike's: the old road.
        EXPECT_EQ(dir == greek ? 0 : 1, m_log.SetPathAndOpen(Narrow(path).c_str()));
        RemoveTree(lookAlike);
        ASSERT_TRUE(::CreateDirectoryW(lookAlike.c_str(), nullptr));

        ASSERT_EQ(1, m_log.SetPathAndOpen(path.c_str()));
        EXPECT_EQ(Narrow(path), m_log.m_strPath) << "the ANSI spelling, for whoever reads it";
        ASSERT_EQ(1, m_log.Write("line %d\n", 1));
        m_log.Close();
        ASSERT_EQ(1, m_log.Write("line %d\n", 2)) << "reopened by the wide path";
        m_log.Close();
        EXPECT_EQ((std::vector<std::string>{"line 1", "line 2"}), LogMessages(path));
    }
    EXPECT_EQ(std::vector<std::wstring>{}, FilesIn(lookAlike)) << "nothing in the look-alike";

    // An ANSI path set afterwards replaces the wide one.
    EXPECT_EQ(1, m_log.SetPathAndOpen(m_path.c_str()));
    EXPECT_EQ(L'\0', m_log.m_strWidePath[0]);
    ASSERT_EQ(1, m_log.Write("narrow\n"));
    m_log.Close();
    EXPECT_EQ(std::vector<std::string>{"narrow"}, LogMessages(m_path));
}

// Stored in the object as the ANSI path is: one that does not fit with its NUL is stored
// empty and never opened, and nothing is created anywhere.
TEST_F(LogFileTest, WidePathThatDoesNotFitIsStoredEmpty) {
    const std::wstring dir = Widen(m_dir) + L"\\";
    const std::wstring fits = dir + std::wstring(MAX_PATH - 1 - dir.size(), L'x');
    const std::wstring tooLong = fits + L"x";
    EXPECT_EQ(0, m_log.SetPathAndOpen(tooLong.c_str()));
    EXPECT_EQ(L'\0', m_log.m_strWidePath[0]);
    EXPECT_STREQ("", m_log.m_strPath);
    EXPECT_EQ(0, m_log.Write("lost\n"));
    EXPECT_EQ(std::vector<std::wstring>{}, FilesIn(Widen(m_dir)));
    EXPECT_EQ(1, m_log.SetPathAndOpen(fits.c_str())) << "MAX_PATH - 1 characters fit";
    EXPECT_TRUE(::DeleteFileW(fits.c_str()));
}

TEST_F(LogFileTest, MessagesAreFormattedAndMissingStringsGiveEmptyMessages) {
    m_log.SetPathAndOpen(m_path.c_str());
    m_log.Write("%s\n", "100%s %d literal");
    m_log.WriteResource(9999);
    m_log.Write("after\n");
    std::vector<std::string> lines = SplitCrlfLines(ReadWholeFile(m_path));
    ASSERT_EQ(2u, lines.size());
    EXPECT_EQ("100%s %d literal", lines[0].substr(kMessageStart));
    // The empty message has no line end: the next line continues on the same text line.
    ASSERT_EQ(2 * kMessageStart + 5u, lines[1].size()) << lines[1];
    EXPECT_EQ("after", lines[1].substr(2 * kMessageStart));
}

TEST_F(LogFileTest, FileOpensOnlyInTheModesItImplements) {
    CStdioFile file;
    // Read-only, binary and flags it does not know are refused, and nothing is created.
    EXPECT_FALSE(file.Open(m_path.c_str(), CStdioFile::modeCreate | CStdioFile::typeText));
    EXPECT_FALSE(file.Open(m_path.c_str(), CStdioFile::modeCreate | CStdioFile::modeReadWrite));
    EXPECT_FALSE(file.Open(m_path.c_str(), CLogFile::kOpenMode | 0x8000));
    EXPECT_FALSE(FileExists(m_path));
    EXPECT_EQ(INVALID_HANDLE_VALUE, file.m_hFile);
    // Without modeCreate the file must exist.
    EXPECT_FALSE(file.Open(m_path.c_str(), CStdioFile::modeReadWrite | CStdioFile::typeText));
    ASSERT_TRUE(file.Open(m_path.c_str(), CLogFile::kOpenMode));
    file.WriteString("line\n");
    file.Close();
    EXPECT_EQ("line\r\n", ReadWholeFile(m_path));
}

TEST_F(LogFileTest, UnwritableFileReturnsZeroAndStaysOpen) {
    // Every write to this device fails with "disk full".
    m_log.SetPathAndOpen("Z:\\dev\\full");
    ASSERT_EQ(1, m_log.OpenIfClosed());
    EXPECT_EQ(0, m_log.Write("dropped\n"));
    EXPECT_NE(INVALID_HANDLE_VALUE, m_log.m_hFile);
    EXPECT_EQ(0, m_log.Write("dropped too\n"));
    m_log.Close();
}

namespace {
struct WriterArgs {
    CLogFile* log;
    char tag;
};

DWORD WINAPI WriteLines(void* param) {
    WriterArgs* args = static_cast<WriterArgs*>(param);
    // Long lines that need several buffered writes each.
    std::string body(300, args->tag);
    for (int i = 0; i < 2000; ++i)
        args->log->Write("%c %04d %s\n", args->tag, i, body.c_str());
    return 0;
}
} // namespace

TEST_F(LogFileTest, TwoThreadsWritingNeverInterleaveLines) {
    m_log.SetPathAndOpen(m_path.c_str());
    WriterArgs a{&m_log, 'a'}, b{&m_log, 'b'};
    HANDLE threads[2] = {::CreateThread(nullptr, 0, WriteLines, &a, 0, nullptr),
                         ::CreateThread(nullptr, 0, WriteLines, &b, 0, nullptr)};
    ASSERT_NE(nullptr, threads[0]);
    ASSERT_NE(nullptr, threads[1]);
    ::WaitForMultipleObjects(2, threads, TRUE, INFINITE);
    ::CloseHandle(threads[0]);
    ::CloseHandle(threads[1]);

    std::vector<std::string> lines = SplitCrlfLines(ReadWholeFile(m_path));
    ASSERT_EQ(4000u, lines.size());
    int next[2] = {0, 0};
    for (const std::string& line : lines) {
        ASSERT_EQ(kMessageStart + 2u + 5u + 300u, line.size()) << line.substr(0, 40);
        char tag = line[kMessageStart];
        ASSERT_TRUE(tag == 'a' || tag == 'b');
        int& expected = next[tag - 'a'];
        char number[5];
        std::snprintf(number, sizeof number, "%04d", expected++);
        EXPECT_EQ(std::string(1, tag) + " " + number + " " + std::string(300, tag),
                  line.substr(kMessageStart));
    }
    EXPECT_EQ(2000, next[0]);
    EXPECT_EQ(2000, next[1]);
}

namespace {

// The space a file takes on the disk, as Wine has it from the host's file system (its
// allocated blocks); -1 where the system cannot tell (before Windows Vista).
long long AllocatedBytes(HANDLE file) {
    struct StandardInfo {
        LARGE_INTEGER allocationSize;
        LARGE_INTEGER endOfFile;
        DWORD numberOfLinks;
        BOOLEAN deletePending;
        BOOLEAN directory;
    } info = {};
    using GetInfoFn = BOOL(WINAPI*)(HANDLE, int, void*, DWORD);
    auto getInfo = reinterpret_cast<GetInfoFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("KERNEL32.DLL"), "GetFileInformationByHandleEx")));
    const int kFileStandardInfo = 1;
    if (getInfo == nullptr || !getInfo(file, kFileStandardInfo, &info, sizeof info))
        return -1;
    return info.allocationSize.QuadPart;
}

bool MoveTo(HANDLE file, ULONGLONG offset) {
    LONG high = static_cast<LONG>(offset >> 32);
    ::SetLastError(NO_ERROR);
    DWORD low = ::SetFilePointer(file, static_cast<LONG>(offset & 0xFFFFFFFFu), &high, FILE_BEGIN);
    return low != INVALID_SET_FILE_POINTER || ::GetLastError() == NO_ERROR;
}

struct LargeLog {
    const char* what;
    ULONGLONG size;
};

void PrintTo(const LargeLog& log, std::ostream* os) {
    *os << log.size << " bytes";
}

class LargeLogTest : public LogFileTest, public ::testing::WithParamInterface<LargeLog> {};

const char kEarlierLine[] = "earlier line\r\n";

} // namespace

// The first line after an open seeks to the end of the file. With Windows' msvcrt (the
// stand-in of msvcrt_seek32.cpp) a seek by fseek fails at these sizes but the first, and every
// line after it would be lost; the log finds its end through the handle, with 64 bits. Wine's
// own msvcrt seeks with 64 bits: without the stand-in these would pass either way, and they
// are kept as the guard of that handle-level road. Each file is sparse, so the disk holds
// only its last block; a file system that cannot hold one skips the case.
TEST_P(LargeLogTest, LineIsAppendedAtTheEnd) {
    const ULONGLONG size = GetParam().size;
    const ULONGLONG earlierAt = size - (sizeof kEarlierLine - 1);
    {
        HANDLE file = ::CreateFileA(m_path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, file);
        DWORD written = 0;
        bool made = MoveTo(file, earlierAt) &&
                    ::WriteFile(file, kEarlierLine, sizeof kEarlierLine - 1, &written, nullptr) &&
                    written == sizeof kEarlierLine - 1 && ::SetEndOfFile(file);
        DWORD error = ::GetLastError();
        long long allocated = AllocatedBytes(file);
        ::CloseHandle(file);
        if (!made)
            GTEST_SKIP() << "the file system cannot hold a file of " << size << " bytes (error "
                         << error << ")";
        if (allocated < 0 || allocated > 16 * 1024 * 1024)
            GTEST_SKIP() << "the file of " << size
                         << " bytes is not sparse here (allocated: " << allocated
                         << "); not left on the disk";
    }

    ASSERT_EQ(1, m_log.SetPathAndOpen(m_path.c_str()));
    ASSERT_EQ(1, m_log.Write("appended\n"));
    ASSERT_EQ(1, m_log.Write("and the next\n")) << "the stream goes on from the end";
    m_log.Close();

    HANDLE file = ::CreateFileA(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file);
    DWORD high = 0;
    DWORD low = ::GetFileSize(file, &high);
    char tail[256] = {};
    DWORD read = 0;
    bool readBack =
        MoveTo(file, earlierAt) && ::ReadFile(file, tail, sizeof tail - 1, &read, nullptr);
    ::CloseHandle(file);
    ASSERT_TRUE(readBack);
    std::vector<std::string> lines = SplitCrlfLines(std::string(tail, read));
    ASSERT_EQ(3u, lines.size()) << std::string(tail, read);
    EXPECT_EQ("earlier line", lines[0]) << "the old end is untouched";
    EXPECT_EQ("appended", lines[1].substr(kMessageStart));
    EXPECT_EQ("and the next", lines[2].substr(kMessageStart));
    EXPECT_EQ(size + 2 * kMessageStart + sizeof "appended\r\nand the next\r\n" - 1,
              (ULONGLONG{high} << 32) | low)
        << "in text mode, each line end is CR LF, and nothing else was written";
}

INSTANTIATE_TEST_SUITE_P(
    , LargeLogTest,
    ::testing::Values(LargeLog{"JustBelow2GiB", 0x7FFFFFFFull},    // ends fit a long
                      LargeLog{"Exactly4GiBLess1", 0xFFFFFFFFull}, // the end reads as -1
                      LargeLog{"Past4GiB", 0x100000000ull + 4321}),
    [](const ::testing::TestParamInfo<LargeLog>& info) { return std::string(info.param.what); });
