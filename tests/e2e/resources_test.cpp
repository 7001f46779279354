// The resources compiled into Linkvigil.exe, read back from the file itself.
#include "app/resource.h"
#include "app_driver.h"
#include "version.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// Reads a DLGTEMPLATEEX field by field.
class CTemplateReader {
public:
    explicit CTemplateReader(const BYTE* p) : m_p(p) {}
    WORD Word() {
        WORD w;
        std::memcpy(&w, m_p, 2);
        m_p += 2;
        return w;
    }
    DWORD Dword() {
        DWORD d;
        std::memcpy(&d, m_p, 4);
        m_p += 4;
        return d;
    }
    BYTE Byte() { return *m_p++; }
    // A string, or an ordinal written as 0xFFFF followed by its number ("#n").
    std::string SzOrOrd() {
        std::string text;
        WORD first = Word();
        if (first == 0xFFFF)
            return "#" + std::to_string(Word());
        for (WORD c = first; c != 0; c = Word())
            text += static_cast<char>(c);
        return text;
    }
    void AlignDword(const BYTE* base) {
        while ((m_p - base) % 4 != 0)
            ++m_p;
    }
    const BYTE* Position() const { return m_p; }

private:
    const BYTE* m_p;
};

class ResourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_module = ::LoadLibraryExA(ProgramPath().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(nullptr, m_module) << ProgramPath();
    }
    void TearDown() override { ::FreeLibrary(m_module); }

    const BYTE* Resource(LPCSTR type, LPCSTR name, DWORD* size = nullptr) {
        HRSRC info =
            ::FindResourceExA(m_module, type, name, MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US));
        if (info == nullptr)
            return nullptr;
        if (size != nullptr)
            *size = ::SizeofResource(m_module, info);
        return static_cast<const BYTE*>(::LockResource(::LoadResource(m_module, info)));
    }

    HMODULE m_module = nullptr;
};

} // namespace

TEST_F(ResourcesTest, MainDialogTemplate) {
    const BYTE* base = Resource(RT_DIALOG, MAKEINTRESOURCEA(102));
    ASSERT_NE(nullptr, base);
    CTemplateReader r(base);
    EXPECT_EQ(1, r.Word()) << "extended template, version 1";
    EXPECT_EQ(0xFFFF, r.Word());
    EXPECT_EQ(0u, r.Dword()) << "help id";
    EXPECT_EQ(0x40000u, r.Dword()) << "WS_EX_APPWINDOW";
    EXPECT_EQ(0x10CA08C8u, r.Dword());
    ASSERT_EQ(2, r.Word());
    EXPECT_EQ(0, static_cast<SHORT>(r.Word()));
    EXPECT_EQ(0, static_cast<SHORT>(r.Word()));
    EXPECT_EQ(233, r.Word());
    EXPECT_EQ(91, r.Word());
    EXPECT_EQ("", r.SzOrOrd()) << "menu";
    EXPECT_EQ("", r.SzOrOrd()) << "class";
    EXPECT_EQ("Linkvigil", r.SzOrOrd());
    EXPECT_EQ(8, r.Word());
    EXPECT_EQ(0, r.Word()) << "weight";
    EXPECT_EQ(0, r.Byte()) << "italic";
    EXPECT_EQ(1, r.Byte()) << "DEFAULT_CHARSET";
    EXPECT_EQ("MS Shell Dlg", r.SzOrOrd());

    struct Control {
        DWORD id;
        const char* className; // as the template names it: "#131" is the list box, "#128" a button
        const char* text;
        short x, y, cx, cy;
        DWORD style;
    } expected[] = {
        {IDC_EVENT_LIST, "#131", "", 7, 7, 219, 57, 0x50A10103},
        {IDC_START_STOP, "#128", "&Start Monitoring", 77, 70, 79, 14, 0x50010001},
    };
    for (const Control& c : expected) {
        SCOPED_TRACE(c.id);
        r.AlignDword(base);
        EXPECT_EQ(0u, r.Dword()) << "help id";
        EXPECT_EQ(0u, r.Dword()) << "extended style";
        EXPECT_EQ(c.style, r.Dword());
        EXPECT_EQ(c.x, static_cast<SHORT>(r.Word()));
        EXPECT_EQ(c.y, static_cast<SHORT>(r.Word()));
        EXPECT_EQ(c.cx, static_cast<SHORT>(r.Word()));
        EXPECT_EQ(c.cy, static_cast<SHORT>(r.Word()));
        EXPECT_EQ(c.id, r.Dword());
        std::string className = r.SzOrOrd();
        EXPECT_TRUE(className == c.className ||
                    (className == "LISTBOX" && std::string(c.className) == "#131") ||
                    (className == "BUTTON" && std::string(c.className) == "#128"))
            << className;
        EXPECT_EQ(c.text, r.SzOrOrd());
        EXPECT_EQ(0, r.Word()) << "no creation data";
    }
}

// An image for each size Windows asks for, so that none is scaled from another: 16 (the title
// bar, lists), 32 (the standard size) and 48 (Explorer, and the standard size at 150 %).
TEST_F(ResourcesTest, IconHasA16A32AndA48PixelImageIn16Colours) {
    const BYTE* group = Resource(RT_GROUP_ICON, MAKEINTRESOURCEA(100));
    ASSERT_NE(nullptr, group);
    CTemplateReader r(group);
    EXPECT_EQ(0, r.Word());
    EXPECT_EQ(1, r.Word()) << "icon";
    ASSERT_EQ(3, r.Word()) << "images";
    for (int size : {16, 32, 48}) {
        SCOPED_TRACE(size);
        EXPECT_EQ(size, r.Byte());
        EXPECT_EQ(size, r.Byte());
        EXPECT_EQ(16, r.Byte()) << "colours";
        r.Byte();
        EXPECT_EQ(1, r.Word()) << "planes";
        EXPECT_EQ(4, r.Word()) << "bits per pixel";
        DWORD bytes = r.Dword();
        WORD id = r.Word();
        // The image itself has the size its entry gives (a bitmap twice as high: colours, mask).
        DWORD imageSize = 0;
        const BYTE* image = Resource(RT_ICON, MAKEINTRESOURCEA(id), &imageSize);
        ASSERT_NE(nullptr, image);
        EXPECT_EQ(bytes, imageSize);
        BITMAPINFOHEADER header;
        ASSERT_GE(imageSize, sizeof header);
        std::memcpy(&header, image, sizeof header);
        EXPECT_EQ(size, header.biWidth);
        EXPECT_EQ(2 * size, header.biHeight);
        EXPECT_EQ(4, header.biBitCount);
    }
}

TEST_F(ResourcesTest, StringTable) {
    struct {
        UINT id;
        const char* text;
    } strings[] = {
        {130, "&Start Monitoring"},
        {131, "&Stop Monitoring"},
        {203, "Could not create a thread for the detection of connections and disconnections. "
              "You will have to use the Connect and Disconnect options from the Vantoria menu."},
        {370, "'%s': disconnected from the Internet.\n"},
        {371, "'%s': connected to the Internet. IP address: %s.\n"},
    };
    for (const auto& s : strings) {
        char text[512] = {};
        ::LoadStringA(m_module, s.id, text, sizeof text);
        EXPECT_STREQ(s.text, text) << s.id;
    }
    char none[8] = "x";
    EXPECT_EQ(0, ::LoadStringA(m_module, 57344, none, sizeof none)) << "no title entry";
}

TEST_F(ResourcesTest, VersionBlockAsWindowsShowsIt) {
    std::string path = ProgramPath();
    DWORD ignored = 0;
    DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    ASSERT_GT(size, 0u);
    std::vector<BYTE> block(size);
    ASSERT_TRUE(::GetFileVersionInfoA(path.c_str(), 0, size, block.data()));

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(::VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
    EXPECT_EQ(0xFEEF04BDu, fixed->dwSignature);
    const WORD version[] = {LINKVIGIL_VERSION_NUMBERS}; // the project's, from CMakeLists.txt
    EXPECT_EQ(MAKELONG(version[1], version[0]), fixed->dwFileVersionMS) << LINKVIGIL_VERSION_TEXT;
    EXPECT_EQ(MAKELONG(version[3], version[2]), fixed->dwFileVersionLS) << LINKVIGIL_VERSION_TEXT;
    EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
    EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
    EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);
    EXPECT_EQ(static_cast<DWORD>(VOS__WINDOWS32), fixed->dwFileOS);

    struct {
        const char* key;
        const char* value;
    } fields[] = {
        {"FileDescription", "Linkvigil"},           {"FileVersion", LINKVIGIL_VERSION_TEXT},
        {"ProductVersion", LINKVIGIL_VERSION_TEXT}, {"InternalName", "Linkvigil.exe"},
        {"OriginalFilename", "Linkvigil.exe"},      {"ProductName", "Vantoria for Windows"},
    };
    for (const auto& field : fields) {
        char* value = nullptr;
        std::string key = std::string("\\StringFileInfo\\040904e4\\") + field.key;
        ASSERT_TRUE(
            ::VerQueryValueA(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length))
            << field.key;
        EXPECT_STREQ(field.value, value) << field.key;
    }
    WORD* translation = nullptr;
    ASSERT_TRUE(::VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                                 reinterpret_cast<void**>(&translation), &length));
    ASSERT_EQ(4u, length);
    EXPECT_EQ(0x0409, translation[0]);
    EXPECT_EQ(0x04E4, translation[1]);
}

TEST_F(ResourcesTest, ManifestAsksForVersion6OfTheCommonControls) {
    DWORD size = 0;
    const BYTE* data = Resource(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1), &size);
    ASSERT_NE(nullptr, data) << "manifest 1";
    std::string manifest(reinterpret_cast<const char*>(data), size);
    // The dependency as the system's loader reads it, attribute by attribute.
    size_t dependency = manifest.find("<dependentAssembly>");
    ASSERT_NE(std::string::npos, dependency);
    std::string identity =
        manifest.substr(dependency, manifest.find("/>", dependency) - dependency);
    for (const char* attribute :
         {"type=\"win32\"", "name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"",
          "processorArchitecture=\"X86\"", "publicKeyToken=\"6595b64144ccf1df\"", "language=\"*\""})
        EXPECT_NE(std::string::npos, identity.find(attribute)) << attribute;
    EXPECT_NE(std::string::npos, manifest.find("name=\"Microsoft.Windows.Linkvigil\""));
    EXPECT_EQ(0u, manifest.find("<?xml")) << "an XML document from its first byte";
}

// DPI awareness as the system's own manifest reader finds it (Windows 7 and later answer
// QueryActCtxSettingsW; Wine's reader does too), with each namespace declared once, as the
// platform's samples do: the manifest reader of Windows XP SP2 is strict about namespaces.
// What the declaration changes on Windows (no stretching above 100 %) Wine cannot show: it
// answers the same awareness whether or not a program declares it.
TEST_F(ResourcesTest, ManifestDeclaresDpiAwarenessOnce) {
    DWORD size = 0;
    const BYTE* data = Resource(MAKEINTRESOURCEA(24), MAKEINTRESOURCEA(1), &size);
    ASSERT_NE(nullptr, data);
    std::string manifest(reinterpret_cast<const char*>(data), size);
    auto count = [&](const std::string& text) {
        size_t n = 0;
        for (size_t at = manifest.find(text); at != std::string::npos;
             at = manifest.find(text, at + 1))
            ++n;
        return n;
    };
    for (const char* ns :
         {"\"urn:schemas-microsoft-com:asm.v1\"", "\"urn:schemas-microsoft-com:asm.v3\"",
          "\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\""})
        EXPECT_EQ(1u, count(ns)) << ns << " declared once";
    EXPECT_EQ(3u, count("xmlns")) << "no other namespace";

    using QuerySettings =
        BOOL(WINAPI*)(DWORD, HANDLE, const wchar_t*, const wchar_t*, wchar_t*, SIZE_T, SIZE_T*);
    auto query = reinterpret_cast<QuerySettings>(reinterpret_cast<void (*)()>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "QueryActCtxSettingsW")));
    ASSERT_NE(nullptr, query) << "the reader that answers for Windows 7 and later";
    std::string path = ProgramPath();
    ACTCTXA context = {};
    context.cbSize = sizeof context;
    context.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID;
    context.lpSource = path.c_str();
    context.lpResourceName = MAKEINTRESOURCEA(1);
    HANDLE activation = ::CreateActCtxA(&context);
    ASSERT_NE(INVALID_HANDLE_VALUE, activation) << "the manifest was refused: " << ::GetLastError();
    wchar_t value[32] = {};
    SIZE_T written = 0;
    EXPECT_TRUE(query(0, activation, L"http://schemas.microsoft.com/SMI/2005/WindowsSettings",
                      L"dpiAware", value, 32, &written))
        << ::GetLastError();
    EXPECT_STREQ(L"true", value);
    ::ReleaseActCtx(activation);
}
