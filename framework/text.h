// printf-style formatting into strings, and the string-table loader.
#pragma once

#include <windows.h>

#include <cstdarg>
#include <string>

// Fills a printf-style format; the result is limited only by memory.
std::string FormatV(const char* format, va_list args);
std::string Format(const char* format, ...);

// Loads a string-table entry of the executable as ANSI text. Only the low 16 bits of the
// id count; a missing entry gives the empty string.
std::string LoadResourceString(UINT id);

// The executable's file name without directory and extension ("Linkvigil" for
// C:\Tools\Linkvigil.exe), as it is named at run time.
std::string GetApplicationTitle();
// The same, written into the caller's buffer without the heap: for reports that memory ran out.
void GetApplicationTitle(char (&title)[MAX_PATH + 1]);

// The executable's directory up to and including its last backslash.
std::string GetExecutableDirectory();
