// Start-up probe: is the AOL client registered under App Paths with a file that exists?
#pragma once

#include <windows.h>

#include <string>

// IsApplicationInstalled("aol.exe").
BOOL IsAolInstalled();

// 1 when the default value of HKLM\...\App Paths\<exeName> names an existing file that is not
// a directory. The path is taken exactly as stored: no quotes stripped, no arguments split off.
// On the NT family it is read and tested with the wide functions (the same checks, the same
// limits, counted in the code page's bytes), on the 9x family in ANSI.
BOOL IsApplicationInstalled(const char* exeName);

// The text of a REG_SZ or REG_EXPAND_SZ value (the latter expanded), or defaultValue when it
// cannot be read. A null valueName means the key's default value; a null defaultValue means "".
std::string GetRegistryString(HKEY hKey, const char* subKey, const char* valueName,
                              const char* defaultValue);

// 1 when path is not empty, exists and is not a directory. The wide form, for the NT family,
// answers 0 for a path of more than MAX_PATH characters, as the ANSI form does there.
BOOL FileExists(const char* path);
BOOL FileExists(const wchar_t* path);
