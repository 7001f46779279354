#pragma once

#include <windows.h>

// Loads a DLL from the system directory by full path, so that no file in the executable's or
// the current directory can take its place. Returns null when it cannot be loaded.
HMODULE LoadSystemLibrary(const char* fileName);
