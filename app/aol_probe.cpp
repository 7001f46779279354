#include "aol_probe.h"

#include "framework/handle.h"

#include <cstring>
#include <string>
#include <vector>

namespace {

const char kAppPathsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\";
// Terminating NUL included.
const DWORD kExpandBufferSize = 1024;

// The text up to the first NUL, never more than size characters.
std::string TextUpToNul(const char* data, size_t size) {
    const void* nul = std::memchr(data, '\0', size);
    return std::string(data, nul != nullptr ? static_cast<const char*>(nul) - data : size);
}

} // namespace

BOOL IsAolInstalled() {
    return IsApplicationInstalled("aol.exe");
}

BOOL IsApplicationInstalled(const char* exeName) {
    std::string key = kAppPathsKey;
    if (exeName != nullptr)
        key += exeName;
    const std::string path = GetRegistryString(HKEY_LOCAL_MACHINE, key.c_str(), nullptr, nullptr);
    if (path.empty())
        return 0;
    return FileExists(path.c_str());
}

std::string GetRegistryString(HKEY hKey, const char* subKey, const char* valueName,
                              const char* defaultValue) {
    const std::string fallback = defaultValue != nullptr ? defaultValue : "";

    CRegKey key;
    if (key.Open(hKey, subKey, KEY_READ) != ERROR_SUCCESS)
        return fallback;

    DWORD type = 0;
    DWORD size = 0;
    if (::RegQueryValueExA(key.Get(), valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
        return fallback;
    if (type != REG_SZ && type != REG_EXPAND_SZ)
        return fallback;

    // One byte more than reported: a value stored without its NUL still ends inside the buffer.
    std::vector<char> buffer(static_cast<size_t>(size) + 1, '\0');
    DWORD read = size;
    const LONG result = ::RegQueryValueExA(key.Get(), valueName, nullptr, &type,
                                           reinterpret_cast<BYTE*>(buffer.data()), &read);
    key.Close();
    // The value may have changed type between the two queries.
    if (result != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
        return fallback;

    std::string text = TextUpToNul(buffer.data(), read < size ? read : size);

    if (type == REG_EXPAND_SZ) {
        char expanded[kExpandBufferSize];
        const DWORD needed = ::ExpandEnvironmentStringsA(text.c_str(), expanded, kExpandBufferSize);
        if (needed == 0 || needed > kExpandBufferSize)
            return fallback;
        text = TextUpToNul(expanded, needed);
    }
    return text;
}

BOOL FileExists(const char* path) {
    if (path == nullptr || *path == '\0')
        return 0;
    const DWORD attributes = ::GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return 0;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}
