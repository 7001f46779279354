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
// The same into the caller's buffer, without the heap: for what must work when memory is
// short. Returns the length; a longer text is cut to size - 1 characters.
int LoadResourceString(UINT id, char* text, int size);

// The executable's file name without directory and extension ("Linkvigil" for
// C:\Tools\Linkvigil.exe), as it is named at run time.
std::string GetApplicationTitle();
// The same, written into the caller's buffer without the heap: for reports that memory ran out.
void GetApplicationTitle(char (&title)[MAX_PATH + 1]);
// The same from the executable's wide path, on the NT family (empty on the 9x family): a name
// that the ANSI code page cannot spell comes out as it is.
void GetApplicationTitle(wchar_t (&title)[MAX_PATH + 1]);

// The executable's path in the caller's buffer, without the heap. FALSE when the system gave
// none or cut it (the buffer then holds what it gave, terminated). The wide form works on the
// NT family only.
BOOL GetExecutablePath(char (&path)[MAX_PATH + 1]);
BOOL GetExecutablePath(wchar_t (&path)[MAX_PATH + 1]);
// Where the file name of a path starts: after its last backslash, found multibyte-aware, so
// the trail byte 0x5C of a double-byte character is never taken for a separator. The path
// itself when it has no backslash.
char* FileNamePart(char* path);
wchar_t* FileNamePart(wchar_t* path);

// The executable's directory up to and including its last backslash.
std::string GetExecutableDirectory();
