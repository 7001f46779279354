// 7. Paths: the log beside the executable only where its path fits in MAX_PATH, in a folder
// whose double-byte name has a backslash as a trail byte, and in one that is shorter than
// MAX_PATH in characters but longer in bytes.
#include "fixture.h"
#include "log_oracle.h"

#include <algorithm>

namespace reliability {
namespace {

// The executable L.exe in a directory of this many characters: from 248 on, "LogFile.txt"
// no longer fits behind it in MAX_PATH (259 characters and the NUL).
class ReliabilityPath : public Reliability, public ::testing::WithParamInterface<size_t> {};

TEST_P(ReliabilityPath, LogOnlyWhereItsPathFitsInMaxPath) {
    const size_t length = GetParam();
    std::string dir = m_dir;
    if (dir.size() + 2 > length)
        GTEST_SKIP() << "the scratch folder's path is already too long";
    while (dir.size() < length) {
        size_t part = std::min<size_t>(length - dir.size() - 1, 100);
        dir += "\\" + std::string(part, 'd');
        ASSERT_TRUE(::CreateDirectoryA(dir.c_str(), nullptr)) << dir;
    }
    ASSERT_EQ(length, dir.size());
    std::string cwd = MakeScratchDir(DirName() + "_cwd");
    ASSERT_TRUE(m_app.Start(dir, "L.exe", cwd));
    ASSERT_NE(nullptr, m_app.WaitForWindow());
    ASSERT_TRUE(WaitFor([&] { return Watching(m_app); }));
    m_model.list = m_model.log = {kNotInstalled};
    m_watched.push_back({&m_app, &m_model});
    ASSERT_NO_FATAL_FAILURE(Step([](CChanges& c) { c.Up(kAol, "10.2.0.1"); }));
    ASSERT_NO_FATAL_FAILURE(Step([](CChanges& c) { c.Down(kAol); }));
    ASSERT_NO_FATAL_FAILURE(CloseAndWait(m_app));

    bool fits = length + 12 <= MAX_PATH - 1;
    std::string log = dir + "\\LogFile.txt";
    if (fits) {
        EXPECT_TRUE(FitLog(ReadWholeFile(log), m_model.log).ok);
    } else {
        EXPECT_EQ(INVALID_FILE_ATTRIBUTES, ::GetFileAttributesA(log.c_str()));
    }
    // Nothing anywhere else: not a cut name beside the program, not in the working folder.
    WIN32_FIND_DATAA data;
    size_t files = 0;
    for (const std::string& where : {dir, cwd}) {
        HANDLE find = ::FindFirstFileA((where + "\\*").c_str(), &data);
        for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileA(find, &data))
            files += (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
        ::FindClose(find);
    }
    EXPECT_EQ(fits ? 2u : 1u, files);
}

INSTANTIATE_TEST_SUITE_P(DirectoryLength, ReliabilityPath, ::testing::Values(247, 248));

// Run by CTest under a double-byte code page (LC_ALL=ja_JP.UTF-8 gives Wine code page 932),
// where "\x95\x5C" is one character whose trail byte is a backslash.
TEST_F(Reliability, DoubleByteDirectoryKeepsTheLogBesideTheExecutable) {
    if (::GetACP() != 932)
        GTEST_SKIP() << "needs code page 932 (CTest runs this case with LC_ALL=ja_JP.UTF-8)";
    for (const char* exeName : {"Linkvigil.exe", "\x95\x5C.exe"}) {
        SCOPED_TRACE(exeName);
        std::string dir =
            MakeScratchDir(std::string("rel_dbcs_\x95\x5C_") + (exeName[0] == 'L' ? "a" : "b"));
        ASSERT_NO_FATAL_FAILURE(UpDownAndClose(exeName, dir, "10.1.0.1"));
        WIN32_FIND_DATAA data;
        Lines files;
        HANDLE find = ::FindFirstFileA((dir + "\\*").c_str(), &data);
        for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileA(find, &data))
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
                files.push_back(data.cFileName);
        ::FindClose(find);
        EXPECT_EQ(Sorted(Lines{exeName, "LogFile.txt"}), Sorted(files));
    }
}

// Run by CTest under code page 932, as the case above. Two folders of double-byte characters
// (U+6F22, two bytes in code page 932, three in UTF-8), as many as make the executable's path
// longer than MAX_PATH in bytes from wherever the scratch folder is: the log's path then has
// fewer than MAX_PATH characters but more than MAX_PATH bytes. The executable's ANSI path
// does not fit GetModuleFileNameA's buffer of MAX_PATH bytes (it comes back cut); on the NT
// family the program reads its path in wide characters and keeps its log. (Windows 9x reads
// it in ANSI, and runs without a log there.)
TEST_F(Reliability, DoubleByteFolderLongerThanMaxPathInBytesKeepsTheLog) {
    if (::GetACP() != 932)
        GTEST_SKIP() << "needs code page 932 (CTest runs this case with LC_ALL=ja_JP.UTF-8)";
    const std::string exeName = "L.exe";
    std::string dir = m_dir;
    // Besides the characters: the scratch folder, a backslash before each folder and the
    // executable's name.
    const size_t fixed = dir.size() + 3 + exeName.size();
    const size_t characters = fixed < MAX_PATH ? (MAX_PATH - fixed) / 2 + 1 : 2;
    for (size_t count : {characters / 2, characters - characters / 2}) {
        std::string part;
        for (size_t i = 0; i < count; ++i)
            part += "\x8a\xbf";
        dir += "\\" + part;
        ASSERT_TRUE(::CreateDirectoryA(dir.c_str(), nullptr)) << ::GetLastError();
    }
    const std::string log = dir + "\\LogFile.txt";
    ASSERT_GT((dir + "\\" + exeName).size(), size_t{MAX_PATH}) << "bytes";
    ASSERT_LT(::MultiByteToWideChar(CP_ACP, 0, log.c_str(), -1, nullptr, 0), MAX_PATH)
        << "characters, with the NUL";
    ASSERT_NO_FATAL_FAILURE(UpDownAndClose(exeName, dir, "10.1.0.2"));
}

} // namespace
} // namespace reliability
