#include "system_library.h"

#include <cstring>

HMODULE LoadSystemLibrary(const char* fileName) {
    char path[MAX_PATH];
    UINT length = ::GetSystemDirectoryA(path, MAX_PATH);
    size_t nameLength = std::strlen(fileName);
    if (length == 0 || length + 1 + nameLength >= sizeof path)
        return nullptr;
    path[length] = '\\';
    std::memcpy(path + length + 1, fileName, nameLength + 1);
    return ::LoadLibraryA(path);
}

BOOL IsWindows9x() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    static_assert(sizeof(OSVERSIONINFOA) == 148, "OSVERSIONINFOA is 148 bytes");
    return ::GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS;
}
