// The installation probe against the real registry and file system of the Wine prefix.
#include "app/aol_probe.h"

#include "files.h"

#include "wide_folders.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

namespace {

const char kAppPaths[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
const char kFallback[] = "<fallback>";

// Registry data with its terminating NUL.
std::string Sz(const std::string& text) {
    return text + '\0';
}

// A key under App Paths named after this process and test, an existing file and a directory;
// all removed afterwards.
class AolProbeTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string tag = std::to_string(::GetCurrentProcessId()) + "_" +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_exeName = "lv_probe_" + tag + ".exe";
        m_key = kAppPaths + m_exeName;
        char temp[MAX_PATH];
        ASSERT_NE(0u, ::GetTempPathA(MAX_PATH, temp));
        m_dir = std::string(temp) + "lv_probe_" + tag;
        ASSERT_TRUE(::CreateDirectoryA(m_dir.c_str(), nullptr));
        m_file = m_dir + "\\client.bin";
        HANDLE h = ::CreateFileA(m_file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        ::CloseHandle(h);
    }
    void TearDown() override {
        if (m_hKey != nullptr) {
            ::RegCloseKey(m_hKey);
            EXPECT_EQ(ERROR_SUCCESS, ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, m_key.c_str()));
        }
        ::DeleteFileA(m_file.c_str());
        ::RemoveDirectoryA(m_dir.c_str());
    }

    HKEY Key() {
        if (m_hKey == nullptr) {
            EXPECT_EQ(ERROR_SUCCESS,
                      ::RegCreateKeyExA(HKEY_LOCAL_MACHINE, m_key.c_str(), 0, nullptr, 0,
                                        KEY_ALL_ACCESS, nullptr, &m_hKey, nullptr));
        }
        return m_hKey;
    }
    void SetDefault(DWORD type, const std::string& data) {
        ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExA(Key(), nullptr, 0, type,
                                                  reinterpret_cast<const BYTE*>(data.data()),
                                                  static_cast<DWORD>(data.size())));
    }
    BOOL Installed() const { return IsApplicationInstalled(m_exeName.c_str()); }
    std::string Read(const char* fallback) const {
        return GetRegistryString(HKEY_LOCAL_MACHINE, m_key.c_str(), nullptr, fallback);
    }

    std::string m_exeName, m_key, m_dir, m_file;
    HKEY m_hKey = nullptr;
};

// Sets a variable for the life of the object.
class CEnvVar {
public:
    CEnvVar(const char* name, const std::string& value) : m_name(name) {
        ::SetEnvironmentVariableA(name, value.c_str());
    }
    ~CEnvVar() { ::SetEnvironmentVariableA(m_name, nullptr); }
    CEnvVar(const CEnvVar&) = delete;
    CEnvVar& operator=(const CEnvVar&) = delete;

private:
    const char* m_name;
};

TEST_F(AolProbeTest, DefaultValueDecidesByTypeTextAndFile) {
    const CEnvVar dir("LV_PROBE_DIR", m_dir);
    const CEnvVar fits("LV_PROBE_1023", std::string(1023, 'x'));    // 1024 with the NUL
    const CEnvVar tooLong("LV_PROBE_1024", std::string(1024, 'x')); // 1025 with the NUL
    const std::string dword("\x01\0\0\0", 4);
    struct Case {
        const char* name;
        DWORD type;
        std::string data;
        BOOL installed;
        std::string text; // kFallback where the value cannot be read
    };
    const Case cases[] = {
        {"existing file", REG_SZ, Sz(m_file), 1, m_file},
        {"directory", REG_SZ, Sz(m_dir), 0, m_dir},
        {"missing file", REG_SZ, Sz(m_dir + "\\none.exe"), 0, m_dir + "\\none.exe"},
        {"quoted path", REG_SZ, Sz('"' + m_file + '"'), 0, '"' + m_file + '"'},
        {"path with arguments", REG_SZ, Sz(m_file + " /x"), 0, m_file + " /x"},
        {"empty", REG_SZ, Sz(""), 0, ""},
        {"zero bytes", REG_SZ, "", 0, ""},
        {"no terminating NUL", REG_SZ, m_file, 1, m_file},
        {"text after the NUL", REG_SZ, Sz(m_file) + "junk", 1, m_file},
        {"count cutting the last character", REG_SZ, m_file.substr(0, m_file.size() - 1), 0,
         m_file.substr(0, m_file.size() - 1)},
        {"numeric", REG_DWORD, dword, 0, kFallback},
        {"raw bytes spelling a path", REG_BINARY, Sz(m_file), 0, kFallback},
        {"multi-string", REG_MULTI_SZ, Sz(Sz(m_file)), 0, kFallback},
        {"defined variable", REG_EXPAND_SZ, Sz("%LV_PROBE_DIR%\\client.bin"), 1, m_file},
        {"plain text as REG_EXPAND_SZ", REG_EXPAND_SZ, Sz(m_file), 1, m_file},
        {"undefined variable", REG_EXPAND_SZ, Sz("%LV_PROBE_UNSET%\\client.bin"), 0,
         "%LV_PROBE_UNSET%\\client.bin"},
        {"expansion filling 1024", REG_EXPAND_SZ, Sz("%LV_PROBE_1023%"), 0, std::string(1023, 'x')},
        {"expansion over 1024", REG_EXPAND_SZ, Sz("%LV_PROBE_1024%"), 0, kFallback},
        {"expansion over 1024 unterminated", REG_EXPAND_SZ, "a%LV_PROBE_1024%", 0, kFallback},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetDefault(c.type, c.data);
        EXPECT_EQ(c.installed, Installed());
        EXPECT_EQ(c.text, Read(kFallback));
        EXPECT_EQ(c.text == kFallback ? "" : c.text, Read(nullptr));
    }
}

// Odd byte counts of wide data: the half character must not be read as text or past the end.
TEST_F(AolProbeTest, OddWideByteCountsStayInBounds) {
    const std::wstring wide(m_file.begin(), m_file.end());
    struct Case {
        const char* name;
        DWORD bytes;
        BOOL installed;
        std::string text;
    };
    const Case cases[] = {
        {"half a NUL", static_cast<DWORD>(wide.size() * 2 + 1), 1, m_file},
        {"half the last character", static_cast<DWORD>(wide.size() * 2 - 1), 0,
         m_file.substr(0, m_file.size() - 1)},
        {"one byte", 1, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegSetValueExW(Key(), nullptr, 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(wide.c_str()), c.bytes));
        EXPECT_EQ(c.installed, Installed());
        EXPECT_EQ(c.text, Read(kFallback));
    }
}

TEST_F(AolProbeTest, MissingKeyOrDefaultValueGivesFallback) {
    EXPECT_EQ(0, Installed());
    EXPECT_EQ(kFallback, Read(kFallback));
    EXPECT_EQ("", Read(nullptr));

    // A named value beside a missing default one: only the named one is readable.
    ASSERT_EQ(ERROR_SUCCESS, ::RegSetValueExA(Key(), "Path", 0, REG_SZ,
                                              reinterpret_cast<const BYTE*>(m_dir.c_str()),
                                              static_cast<DWORD>(m_dir.size() + 1)));
    EXPECT_EQ(0, Installed());
    EXPECT_EQ(kFallback, Read(kFallback));
    EXPECT_EQ(m_dir, GetRegistryString(HKEY_LOCAL_MACHINE, m_key.c_str(), "Path", kFallback));
    EXPECT_EQ(kFallback, GetRegistryString(HKEY_LOCAL_MACHINE, m_key.c_str(), "Other", kFallback));
}

TEST_F(AolProbeTest, FileExistsOnlyForFiles) {
    const struct {
        std::string path;
        BOOL exists;
    } cases[] = {
        {m_file, 1},
        {m_dir, 0},
        {m_dir + "\\", 0},
        {m_dir + "\\none.exe", 0},
        {m_file + "\\child", 0},
        {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.exists, FileExists(c.path.c_str())) << '"' << c.path << '"';
}

// Folders named in letters that code page 1252 lacks (Greek) or has only look-alikes for
// ("Łódź", which it spells "Lódz"). Wine converts the ANSI functions' text through the code
// page as Windows does, so the ANSI answers below are Windows' answers too. CTest runs these
// under LC_ALL=C.UTF-8, where Wine's Unix side can name such files.
TEST_F(AolProbeTest, PathsOutsideTheCodePageAreReadAndTestedWhole) {
    CWideFolders folders(m_dir);
    if (std::string unavailable = folders.Make(); !unavailable.empty())
        GTEST_SKIP() << unavailable;
    const auto& [tree, greek, polish, lookAlike] = folders;
    ASSERT_EQ(Narrow(polish), Narrow(lookAlike)) << "code page 1252 spells both alike";
    for (const std::wstring& file :
         {greek + L"\\client.bin", polish + L"\\client.bin", lookAlike + L"\\other.bin"}) {
        HANDLE h = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        ::CloseHandle(h);
    }
    ::SetEnvironmentVariableW(L"LV_PROBE_GREEK", greek.c_str());

    struct Case {
        const char* name;
        DWORD type;
        std::wstring value;
        BOOL installed;     // read and tested wide, as on the NT family
        BOOL ansiInstalled; // read and tested in ANSI, as before
    };
    const Case cases[] = {
        {"Greek path", REG_SZ, greek + L"\\client.bin", 1, 0},
        {"variable naming the Greek folder", REG_EXPAND_SZ, L"%LV_PROBE_GREEK%\\client.bin", 1, 0},
        {"Greek folder itself", REG_SZ, greek, 0, 0},
        {"file only under the real name", REG_SZ, polish + L"\\client.bin", 1, 0},
        {"file only in the look-alike folder", REG_SZ, polish + L"\\other.bin", 0, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(ERROR_SUCCESS,
                  ::RegSetValueExW(Key(), nullptr, 0, c.type,
                                   reinterpret_cast<const BYTE*>(c.value.c_str()),
                                   static_cast<DWORD>((c.value.size() + 1) * sizeof(wchar_t))));
        EXPECT_EQ(c.installed, Installed());
        // The narrow reader still gives the text as the code page spells it.
        const std::string ansi = Read(kFallback);
        EXPECT_EQ(c.ansiInstalled, FileExists(ansi.c_str())) << ansi;
    }
    ::SetEnvironmentVariableW(L"LV_PROBE_GREEK", nullptr);
    EXPECT_EQ(1, FileExists((greek + L"\\client.bin").c_str()));
    EXPECT_EQ(0, FileExists((lookAlike + L"\\client.bin").c_str()));
}

// A path beyond MAX_PATH characters (padded with "\.", which the system folds away): the
// ANSI functions of the NT family refuse it (their conversion buffer holds MAX_PATH + 1
// characters), and the wide probe refuses it too, so both roads answer alike.
TEST_F(AolProbeTest, LongPathsGetTheAnsiRoadsAnswer) {
    const std::string tail = "\\client.bin";
    for (size_t length :
         {size_t{MAX_PATH - 1}, size_t{MAX_PATH}, size_t{MAX_PATH + 1}, size_t{400}}) {
        SCOPED_TRACE(length);
        std::string path = m_dir;
        while (path.size() + tail.size() + 2 <= length)
            path += "\\.";
        if (path.size() + tail.size() < length)
            path += "\\"; // a doubled backslash is folded away too
        path += tail;
        ASSERT_EQ(length, path.size());
        SetDefault(REG_SZ, Sz(path));
        const BOOL ansi = FileExists(path.c_str());
        EXPECT_EQ(ansi, Installed());
        EXPECT_EQ(ansi, FileExists(Widen(path).c_str()));
        // Exactly MAX_PATH characters leave no room for the NUL: left to the system.
        if (length != MAX_PATH) {
            EXPECT_EQ(length < MAX_PATH ? 1 : 0, ansi) << "found within MAX_PATH, refused beyond";
        }
    }
}

} // namespace
