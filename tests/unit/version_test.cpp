// What the framework's locks and the C++ runtime's do under each Windows version that Wine
// can show a program: version_child.exe runs under it and reports.
#include "framework/sync.h"

#include "child_process.h"
#include "files.h"
#include "shown_version.h"
#include "wait.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace {

struct WindowsVersion {
    const char* name; // as Wine's Version setting spells it
    DWORD platformId;
    DWORD major;
    bool lockEventMade;
};

void PrintTo(const WindowsVersion& version, std::ostream* os) {
    *os << version.name;
}

class VersionTest : public ::testing::TestWithParam<WindowsVersion> {
protected:
    void SetUp() override { ASSERT_TRUE(m_version.IsSet()); }

    // The child's report, name to value; empty when it did not run to its end.
    std::map<std::string, std::string> RunChild() {
        std::string dir = MakeScratchDir(std::string("version_") + GetParam().name);
        std::string report = dir + "\\report.txt";
        CChildProcess child;
        DWORD exitCode = 1;
        EXPECT_TRUE(child.Start(WindowsPath(VERSION_CHILD_EXE), dir, "\"" + report + "\""));
        EXPECT_TRUE(child.WaitForExit(kPatienceMs, &exitCode));
        EXPECT_EQ(0u, exitCode) << "3: abort, as after terminate";
        std::map<std::string, std::string> values;
        std::ifstream in(report);
        std::string line;
        while (std::getline(in, line)) {
            size_t space = line.find(' ');
            values[line.substr(0, space)] =
                space == std::string::npos ? "" : line.substr(space + 1);
        }
        in.close();
        ::DeleteFileA(report.c_str());
        ::RemoveDirectoryA(dir.c_str());
        return values;
    }

    CShownWindowsVersion m_version{"version_child.exe", GetParam().name};
};

unsigned Processors() {
    SYSTEM_INFO info;
    ::GetSystemInfo(&info);
    return info.dwNumberOfProcessors;
}

} // namespace

// Windows 95/98/ME and NT 4.0 get the plain critical section; the NT family from 2000 on the
// one made with its wait event (its spin count is the witness: the plain one's is 0). Wine's
// critical sections never allocate, whichever way they were made: the failure that the
// event prevents on Windows 2000 cannot be shown here.
// On the 9x family CreateSemaphoreW is a stub that fails, and the C++ runtime made its mutexes
// with it; Wine's works whatever version it shows, so two threads throwing the process's first
// exceptions at once pass here either way. What tells is the import table: the child, linked
// as the program is, must make them with CreateSemaphoreA.
TEST_P(VersionTest, LocksOfTheFrameworkAndTheRuntime) {
    const WindowsVersion& expected = GetParam();
    std::map<std::string, std::string> report = RunChild();
    ASSERT_EQ("", report["done"]) << "the child did not reach its end";
    ASSERT_EQ(std::to_string(expected.platformId), report["platform"])
        << "Wine did not show the child " << expected.name;
    ASSERT_EQ(std::to_string(expected.major), report["major"]);

    EXPECT_EQ(expected.lockEventMade ? "1" : "0", report["lock_event_made"]);
    EXPECT_EQ(expected.lockEventMade ? "1" : "0", report["class_event_made"]);
    if (Processors() > 1 || !expected.lockEventMade) {
        EXPECT_EQ(expected.lockEventMade ? std::to_string(kLockSpinCount) : "0",
                  report["lock_spin_count"]);
    }

    EXPECT_EQ("0", report["imports_wide_semaphore"]);
    EXPECT_EQ("1", report["imports_ansi_semaphore"]) << "the import table was read";
    EXPECT_EQ("400 of 400", report["caught"]);
}

INSTANTIATE_TEST_SUITE_P(, VersionTest,
                         ::testing::Values(WindowsVersion{"win95", 1, 4, false},
                                           WindowsVersion{"win98", 1, 4, false},
                                           WindowsVersion{"nt40", 2, 4, false},
                                           WindowsVersion{"win2k", 2, 5, true},
                                           WindowsVersion{"winxp", 2, 5, true}),
                         [](const ::testing::TestParamInfo<WindowsVersion>& info) {
                             return std::string(info.param.name);
                         });

// The test's own process: Wine shows it a current Windows, which offers the function.
TEST(LockTest, MadeWithItsEventWhereTheSystemOffersIt) {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    ASSERT_TRUE(::GetVersionExA(&version));
    ASSERT_EQ(static_cast<DWORD>(VER_PLATFORM_WIN32_NT), version.dwPlatformId);
    ASSERT_GE(version.dwMajorVersion, 5u);
    ASSERT_NE(nullptr, ::GetProcAddress(::GetModuleHandleA("KERNEL32.DLL"),
                                        "InitializeCriticalSectionAndSpinCount"));

    CRITICAL_SECTION cs;
    std::memset(&cs, 0xbd, sizeof cs);
    EXPECT_TRUE(InitializeLockWithEvent(cs));
    if (Processors() > 1)
        EXPECT_EQ(kLockSpinCount, cs.SpinCount) << "a plain critical section spins 0 times";
    else
        std::printf("one processor: the spin count is 0 either way, not compared\n");
    ::EnterCriticalSection(&cs);
    ::LeaveCriticalSection(&cs);
    ::DeleteCriticalSection(&cs);

    CCriticalSection lock;
    EXPECT_TRUE(lock.EventMade());
    CLockGuard held(lock);
}
