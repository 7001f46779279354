#include "aol_probe.h"

#include "framework/handle.h"
#include "framework/wide_api.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char kAppPathsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
// Terminating NUL included.
const DWORD kExpandBufferSize = 1024;

// Texts of either kind are held NUL-terminated in a vector: std::wstring would bring a second
// string implementation of the runtime into the program (about 40 KB), for one path.
template <typename Char> using Text = std::vector<Char>;

// The text up to the first NUL, never more than length characters.
template <typename Char> Text<Char> TextUpToNul(const Char* data, size_t length) {
    Text<Char> text(data, std::find(data, data + length, Char()));
    text.push_back(Char());
    return text;
}

template <typename Char> Text<Char> TextOf(const Char* text) {
    return TextUpToNul(text, std::char_traits<Char>::length(text));
}

// The one reader of both kinds: the ANSI and the wide functions differ only in what they
// call (framework/wide_api.h), never in the checks.
template <typename Char>
Text<Char> ReadRegistryString(HKEY hKey, const Char* subKey, const Char* valueName,
                              const Char* defaultValue) {
    const Char empty[] = {Char()};
    const Text<Char> fallback = TextOf(defaultValue != nullptr ? defaultValue : empty);

    CRegKey key;
    if (key.Open(hKey, subKey, KEY_READ) != ERROR_SUCCESS)
        return fallback;

    DWORD type = 0;
    DWORD size = 0;
    if (QueryRegistryValue(key.Get(), valueName, &type, nullptr, &size) != ERROR_SUCCESS)
        return fallback;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return fallback;

    // One character more than reported: a value stored without its NUL still ends inside the
    // buffer. Sizes are in bytes; half a wide character at the end is dropped.
    std::vector<Char> buffer(size / sizeof(Char) + 1, Char());
    DWORD read = size;
    const LONG result = QueryRegistryValue(key.Get(), valueName, &type,
                                           reinterpret_cast<BYTE*>(buffer.data()), &read);
    key.Close();
    // The value may have changed type between the two queries.
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return fallback;

    Text<Char> text = TextUpToNul(buffer.data(), (read < size ? read : size) / sizeof(Char));

    if (type == REG_EXPAND_SZ) {
        Char expanded[kExpandBufferSize];
        const DWORD needed = ExpandVariables(text.data(), expanded, kExpandBufferSize);
        if (needed == 0 || needed > kExpandBufferSize)
            return fallback;
        text = TextUpToNul(expanded, needed);
        // The limit counts bytes in the code page, as the ANSI road's buffer does: a
        // double-byte text that fits in 1024 wide characters but not in 1024 bytes gives the
        // fallback on both roads. (A single-byte code page counts alike either way.)
        if (AnsiSize(text.data()) > kExpandBufferSize)
            return fallback;
    }
    return text;
}

template <typename Char> BOOL IsFile(const Char* path) {
    if (path == nullptr || *path == Char())
        return 0;
    const DWORD attributes = GetPathAttributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 0;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

template <typename Char> BOOL IsRegisteredFile(const Char* key) {
    const Text<Char> path = ReadRegistryString<Char>(HKEY_LOCAL_MACHINE, key, nullptr, nullptr);
    return FileExists(path.data());
}

// ANSI text in wide characters, converted through the code page.
Text<wchar_t> Widen(const std::string& text) {
    Text<wchar_t> wide(text.size() + 1, L'\0');
    if (::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(),
                              static_cast<int>(wide.size())) == 0)
        wide.assign(1, L'\0');
    return wide;
}

} // namespace

BOOL IsAolInstalled() {
    return IsApplicationInstalled("aol.exe");
}

BOOL IsApplicationInstalled(const char* exeName) {
    std::string key = kAppPathsKey;
    if (exeName != nullptr)
        key += exeName;
    // On the NT family the registered path is read and tested in full: read in ANSI, a folder
    // that the code page cannot spell becomes "?" (no such file) or a look-alike (another
    // file). The 9x family stores names in the code page, so ANSI reads them whole there.
    if (UseWidePaths())
        return IsRegisteredFile(Widen(key).data());
    return IsRegisteredFile(key.c_str());
}

std::string GetRegistryString(HKEY hKey, const char* subKey, const char* valueName,
                              const char* defaultValue) {
    return ReadRegistryString(hKey, subKey, valueName, defaultValue).data();
}

BOOL FileExists(const char* path) {
    return IsFile(path);
}

BOOL FileExists(const wchar_t* path) {
    // The ANSI functions of the NT family turn a path into wide characters in a buffer of
    // MAX_PATH + 1 and refuse a longer one (Wine's too): refused here as well, a long path (a
    // "\\?\" one, or one padded with ".\") gets the same answer on both roads.
    if (path != nullptr && std::char_traits<wchar_t>::length(path) > MAX_PATH)
        return 0;
    return IsFile(path);
}
