#pragma once

#include <windows.h>

// Loads a DLL from the system directory by full path, so that no file in the executable's or
// the current directory can take its place. Returns null when it cannot be loaded.
HMODULE LoadSystemLibrary(const char* fileName);

// TRUE on the Windows 9x family (95, 98, ME): the platform id VER_PLATFORM_WIN32_WINDOWS.
BOOL IsWindows9x();

// The entry point name of module as the pointer type T, or null when the library lacks it.
template <typename T> T GetEntryPoint(HMODULE module, const char* name) {
    return reinterpret_cast<T>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}
