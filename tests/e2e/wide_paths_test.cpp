// The real Linkvigil.exe in folders whose names the ANSI code page cannot spell. CTest runs
// these under LC_ALL=C.UTF-8: Wine's ANSI code page is then 1252, and its Unix side names files
// in UTF-8. Greek and Cyrillic letters are missing from 1252; "Łódź" has look-alikes there
// ("Lódz"). Wine converts the ANSI functions' paths through the code page as Windows does ("?"
// for a missing letter, the look-alike where the code page has one), so on the NT family these
// fail under Wine exactly as they would on Windows with code page 1252, for the program of
// before, which read its own path with GetModuleFileNameA.
#include "aol_registration.h"
#include "app_driver.h"
#include "program_texts.h"
#include "ras_standin.h"
#include "shown_version.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;
using Names = std::vector<std::wstring>;

const wchar_t kGreek[] = L"\u0391\u03b8\u03ae\u03bd\u03b1";          // Αθήνα
const wchar_t kCyrillic[] = L"\u041c\u043e\u0441\u043a\u0432\u0430"; // Москва
const wchar_t kPolish[] = L"\u0141\u00f3d\u017a";                    // Łódź
const char kPolishLookAlike[] = "L\363dz";                           // Lódz in code page 1252

void CreateEmptyFile(const std::wstring& path) {
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << Utf8(path);
    ::CloseHandle(h);
}

class WidePaths : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(CRasStandin::OverrideActive()) << "run under wine-run";
        if (::GetACP() != 1252)
            GTEST_SKIP() << "needs ANSI code page 1252 (CTest runs these with LC_ALL=C.UTF-8)";
        m_root = MakeScratchDir(Widen(std::string("wide_") + TestName()));
        // Wine's Unix side names such files only under a UTF-8 locale.
        const std::wstring probe = m_root + L"\\" + kGreek;
        if (!::CreateDirectoryW(probe.c_str(), nullptr) || !::RemoveDirectoryW(probe.c_str()))
            GTEST_SKIP() << "Wine cannot name files in Greek here (run with LC_ALL=C.UTF-8)";
        ASSERT_TRUE(m_standin.Install(RasLibrary::Full));
    }

    static std::string TestName() {
        return ::testing::UnitTest::GetInstance()->current_test_info()->name();
    }

    std::wstring MakeDir(const std::wstring& name) {
        std::wstring dir = m_root + L"\\" + name;
        EXPECT_TRUE(::CreateDirectoryW(dir.c_str(), nullptr)) << Utf8(dir);
        return dir;
    }

    // Starts the program and waits until its first line is listed and its thread registered.
    void Launch(CAppUnderTest& app, const std::wstring& dir, const std::string& firstLine,
                const std::wstring& exeName = L"Linkvigil.exe") {
        ASSERT_TRUE(app.Start(dir, exeName)) << Utf8(dir);
        ASSERT_NE(nullptr, app.WaitForWindow());
        ASSERT_TRUE(app.WaitForList({firstLine}))
            << "listed: " << ::testing::PrintToString(app.ListLines());
        ASSERT_TRUE(m_standin.WaitForRegistration(app.ProcessId()));
    }

    void CloseAndWait(CAppUnderTest& app) {
        app.Close();
        DWORD exitCode = 1;
        ASSERT_TRUE(app.WaitForExit(kPatienceMs, &exitCode));
        EXPECT_EQ(0u, exitCode);
    }

    // A connection up and down, then the end: what the log of such a run holds.
    void RunUpAndDown(CAppUnderTest& app, const std::wstring& dir) {
        ASSERT_NO_FATAL_FAILURE(Launch(app, dir, kNotInstalled));
        m_standin.table.Up(kAol, "10.0.0.7");
        ASSERT_TRUE(app.WaitForList({kNotInstalled, ListUp("10.0.0.7")}));
        m_standin.table.Down(kAol);
        ASSERT_TRUE(app.WaitForList({kNotInstalled, ListUp("10.0.0.7"), kListDown}));
        ASSERT_NO_FATAL_FAILURE(CloseAndWait(app));
    }
    static Lines UpAndDownLog() {
        return {kNotInstalled, kHeader, kAol, LogUp("10.0.0.7"), kLogDown};
    }

    CAolUnregistered m_noAol;
    CRasStandin m_standin;
    std::wstring m_root;
};

} // namespace

TEST_F(WidePaths, LogLandsBesideTheExecutableInGreekAndCyrillicFolders) {
    for (const wchar_t* name : {kGreek, kCyrillic}) {
        SCOPED_TRACE(Utf8(name));
        const std::wstring dir = MakeDir(name);
        CAppUnderTest app;
        ASSERT_NO_FATAL_FAILURE(RunUpAndDown(app, dir));
        EXPECT_EQ(UpAndDownLog(), LogMessages(dir + L"\\LogFile.txt"));
        EXPECT_EQ((Names{L"Linkvigil.exe", L"LogFile.txt"}), FilesIn(dir));
    }
    // The code page spells the folders "????a" and "??????" (a "?" for each letter it lacks,
    // "a" for alpha), which no file name may hold: nothing was written beside them either.
    EXPECT_EQ(Names{}, FilesIn(m_root));
}

// Where the code page has look-alikes, the ANSI path names another folder, and when that
// exists the old program wrote its log there.
TEST_F(WidePaths, LogStaysOutOfTheFolderThatTheCodePageSpellsAlike) {
    ASSERT_EQ(kPolishLookAlike, Narrow(kPolish)) << "code page 1252 spells Łódź as Lódz";
    const std::wstring dir = MakeDir(kPolish);
    const std::wstring lookAlike = MakeDir(Widen(kPolishLookAlike));
    CAppUnderTest app;
    ASSERT_NO_FATAL_FAILURE(RunUpAndDown(app, dir));
    EXPECT_EQ(UpAndDownLog(), LogMessages(dir + L"\\LogFile.txt"));
    EXPECT_EQ((Names{L"Linkvigil.exe", L"LogFile.txt"}), FilesIn(dir));
    EXPECT_EQ(Names{}, FilesIn(lookAlike)) << "the look-alike folder stays empty";
}

TEST_F(WidePaths, ProbeFindsAolRegisteredUnderAGreekPath) {
    const std::wstring client = MakeDir(kGreek);
    ASSERT_NO_FATAL_FAILURE(CreateEmptyFile(client + L"\\aol.exe"));
    ::SetEnvironmentVariableW(L"LV_WIDE_AOL_DIR", client.c_str()); // inherited by the program
    const struct {
        const char* name;
        DWORD type;
        std::wstring value;
    } cases[] = {
        {"path", REG_SZ, client + L"\\aol.exe"},
        {"variable expanding to the path", REG_EXPAND_SZ, L"%LV_WIDE_AOL_DIR%\\aol.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(RegisterAol(c.value, c.type));
        const std::wstring dir =
            MakeDir(Widen(std::string("run_") + (c.type == REG_SZ ? "sz" : "expand")));
        CAppUnderTest app;
        ASSERT_NO_FATAL_FAILURE(Launch(app, dir, kInstalled));
        ASSERT_NO_FATAL_FAILURE(CloseAndWait(app));
        EXPECT_EQ(Lines{kInstalled}, LogMessages(dir + L"\\LogFile.txt"));
    }
    ::SetEnvironmentVariableW(L"LV_WIDE_AOL_DIR", nullptr);
}

// The only message box that the program shows on its own without a fault: F1 with no help
// engine. Its caption is the executable's name without extension.
TEST_F(WidePaths, MessageBoxCaptionSpellsTheExecutableName) {
    CHelpEngineHidden noHelp;
    ASSERT_TRUE(noHelp.Hid());
    for (const wchar_t* name : {kGreek, kPolish}) {
        SCOPED_TRACE(Utf8(name));
        const std::wstring dir = MakeDir(name);
        CAppUnderTest app;
        ASSERT_NO_FATAL_FAILURE(Launch(app, dir, kNotInstalled, std::wstring(name) + L".exe"));
        app.TypeKey(VK_F1);
        HWND box = nullptr;
        ASSERT_TRUE(WaitFor([&] { return (box = app.FindMessageBox()) != nullptr; }));
        EXPECT_EQ(Utf8(name), Utf8(CAppUnderTest::WideWindowText(box)));
        EXPECT_EQ("Failed to launch help.", CAppUnderTest::MessageBoxText(box));
        ::PostMessageA(box, WM_COMMAND, IDOK, 0);
        EXPECT_TRUE(WaitFor([&] { return app.FindMessageBox() == nullptr; }));
        ASSERT_NO_FATAL_FAILURE(CloseAndWait(app));
    }
}

// Told that it runs on Windows 98, the program keeps to the ANSI functions, and the folders'
// names reach it with "?" for their letters: no log, and the Cyrillic registration is not
// found. On Windows 98 itself such folders cannot exist at all (its file systems store names
// in the code page, which spells every name there is); what matters is that the program takes
// the ANSI road on that family, where the wide functions are stubs that fail. Wine's wide
// functions work under any version, so a program that took them here would find both folders.
TEST_F(WidePaths, Windows98KeepsTheAnsiRoad) {
    CShownWindowsVersion windows98("Linkvigil.exe", "win98");
    ASSERT_TRUE(windows98.IsSet());

    const std::wstring client = MakeDir(std::wstring(kCyrillic));
    ASSERT_NO_FATAL_FAILURE(CreateEmptyFile(client + L"\\aol.exe"));
    ASSERT_TRUE(RegisterAol(client + L"\\aol.exe"));
    const std::wstring dir = MakeDir(kGreek);
    CAppUnderTest app;
    ASSERT_NO_FATAL_FAILURE(Launch(app, dir, kNotInstalled));
    ASSERT_NO_FATAL_FAILURE(CloseAndWait(app));
    EXPECT_EQ(Names{L"Linkvigil.exe"}, FilesIn(dir)) << "a log on the 9x family's road";
    EXPECT_EQ(Names{}, FilesIn(m_root));
}
