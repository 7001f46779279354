#include "wide_api.h"

#include "system_library.h"

#include <cstring>

namespace {

// X(module, name). Each module is one the program imports from statically, so it is loaded
// and GetModuleHandle finds it without loading anything.
#define WIDE_ENTRY_POINTS(X)                                                                       \
    X("KERNEL32.DLL", GetModuleFileNameW)                                                          \
    X("KERNEL32.DLL", CreateFileW)                                                                 \
    X("KERNEL32.DLL", GetFileAttributesW)                                                          \
    X("KERNEL32.DLL", ExpandEnvironmentStringsW)                                                   \
    X("ADVAPI32.DLL", RegOpenKeyExW)                                                               \
    X("ADVAPI32.DLL", RegQueryValueExW)                                                            \
    X("USER32.DLL", MessageBoxIndirectW)

struct WideEntryPoints {
#define WIDE_DECLARE_ENTRY_POINT(module, name) decltype(&::name) name = nullptr;
    WIDE_ENTRY_POINTS(WIDE_DECLARE_ENTRY_POINT)
#undef WIDE_DECLARE_ENTRY_POINT
    bool complete = false;
};

// Null on the 9x family (whose stubs would only fail), and wherever one entry point is
// missing: a path then goes the ANSI road all the way instead of half of it wide.
const WideEntryPoints* GetWideEntryPoints() {
    static const WideEntryPoints entryPoints = [] {
        WideEntryPoints loaded;
        if (IsWindows9x())
            return loaded;
        loaded.complete = true;
#define WIDE_RESOLVE_ENTRY_POINT(module, name)                                                     \
    loaded.name = GetEntryPoint<decltype(loaded.name)>(::GetModuleHandleA(module), #name);         \
    loaded.complete = loaded.complete && loaded.name != nullptr;
        WIDE_ENTRY_POINTS(WIDE_RESOLVE_ENTRY_POINT)
#undef WIDE_RESOLVE_ENTRY_POINT
        return loaded;
    }();
    return entryPoints.complete ? &entryPoints : nullptr;
}

// The entry points for a wide call, or null with the error the 9x family's stubs give.
const WideEntryPoints* Wide() {
    const WideEntryPoints* wide = GetWideEntryPoints();
    if (wide == nullptr)
        ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return wide;
}

} // namespace

BOOL UseWidePaths() {
    return GetWideEntryPoints() != nullptr;
}

DWORD GetModulePath(HMODULE module, char* path, DWORD size) {
    return ::GetModuleFileNameA(module, path, size);
}

DWORD GetModulePath(HMODULE module, wchar_t* path, DWORD size) {
    const WideEntryPoints* wide = Wide();
    return wide != nullptr ? wide->GetModuleFileNameW(module, path, size) : 0;
}

HANDLE CreateFileHandle(const char* path, DWORD access, DWORD share, DWORD disposition,
                        DWORD attributes) {
    return ::CreateFileA(path, access, share, nullptr, disposition, attributes, nullptr);
}

HANDLE CreateFileHandle(const wchar_t* path, DWORD access, DWORD share, DWORD disposition,
                        DWORD attributes) {
    const WideEntryPoints* wide = Wide();
    return wide != nullptr
               ? wide->CreateFileW(path, access, share, nullptr, disposition, attributes, nullptr)
               : INVALID_HANDLE_VALUE;
}

DWORD GetPathAttributes(const char* path) {
    return ::GetFileAttributesA(path);
}

DWORD GetPathAttributes(const wchar_t* path) {
    const WideEntryPoints* wide = Wide();
    return wide != nullptr ? wide->GetFileAttributesW(path) : INVALID_FILE_ATTRIBUTES;
}

LONG OpenRegistryKey(HKEY parent, const char* subKey, REGSAM access, HKEY* key) {
    return ::RegOpenKeyExA(parent, subKey, 0, access, key);
}

LONG OpenRegistryKey(HKEY parent, const wchar_t* subKey, REGSAM access, HKEY* key) {
    const WideEntryPoints* wide = Wide();
    return wide != nullptr ? wide->RegOpenKeyExW(parent, subKey, 0, access, key)
                           : ERROR_CALL_NOT_IMPLEMENTED;
}

LONG QueryRegistryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size) {
    return ::RegQueryValueExA(key, name, nullptr, type, data, size);
}

LONG QueryRegistryValue(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* size) {
    const WideEntryPoints* wide = Wide();
    return wide != nullptr ? wide->RegQueryValueExW(key, name, nullptr, type, data, size)
                           : ERROR_CALL_NOT_IMPLEMENTED;
}

DWORD ExpandVariables(const char* text, char* expanded, DWORD size) {
    return ::ExpandEnvironmentStringsA(text, expanded, size);
}

DWORD ExpandVariables(const wchar_t* text, wchar_t* expanded, DWORD size) {
    const WideEntryPoints* wide = Wide();
    return wide != nullptr ? wide->ExpandEnvironmentStringsW(text, expanded, size) : 0;
}

int ShowMessageBoxIndirect(const MSGBOXPARAMSA* params) {
    return ::MessageBoxIndirectA(params);
}

int ShowMessageBoxIndirect(const MSGBOXPARAMSW* params) {
    const WideEntryPoints* wide = Wide();
    return wide != nullptr ? wide->MessageBoxIndirectW(params) : 0;
}

size_t AnsiSize(const char* text) {
    return std::strlen(text) + 1;
}

size_t AnsiSize(const wchar_t* text) {
    // A letter the code page lacks still takes a byte there (its "?" or look-alike).
    int size = ::WideCharToMultiByte(CP_ACP, 0, text, -1, nullptr, 0, nullptr, nullptr);
    return size > 0 ? static_cast<size_t>(size) : 0;
}
