// The platform functions that take a path or a text, each in its two kinds: ANSI (the A
// function, text in the code page) and wide (the W function). An algorithm written once over
// these overloads serves both kinds of path; the caller chooses the kind with UseWidePaths().
//
// On the NT family the A functions convert through the ANSI code page: a letter it lacks
// comes back as "?" (or as a look-alike, "Ł" as "L"), so such a path names no file, or another
// one. The W functions see the path as it is. Wine converts the same way, so its tests see what
// Windows does. Windows 95/98/ME export most W functions only as stubs that fail, some not at
// all, and a program there names files only in the code page anyway (FAT keeps long names in
// UTF-16 on disk, but the 9x family hands them over in the code page): there the ANSI road is
// the whole road. The W functions are therefore resolved at run time, on the NT family only, and
// are not in the import table. (Wine's W functions work whatever Windows version it shows a
// program: under Wine only the platform id keeps the program on the ANSI road of the 9x family.)
#pragma once

#include <windows.h>

// TRUE on the NT family, with every wide function below at hand; FALSE on the 9x family.
BOOL UseWidePaths();

// Without UseWidePaths() the wide forms fail with ERROR_CALL_NOT_IMPLEMENTED, as the stubs of
// the 9x family do; the ANSI forms are the A functions unchanged.
DWORD GetModulePath(HMODULE module, char* path, DWORD size);
DWORD GetModulePath(HMODULE module, wchar_t* path, DWORD size);
HANDLE CreateFileHandle(const char* path, DWORD access, DWORD share, DWORD disposition,
                        DWORD attributes);
HANDLE CreateFileHandle(const wchar_t* path, DWORD access, DWORD share, DWORD disposition,
                        DWORD attributes);
DWORD GetPathAttributes(const char* path);
DWORD GetPathAttributes(const wchar_t* path);
LONG OpenRegistryKey(HKEY parent, const char* subKey, REGSAM access, HKEY* key);
LONG OpenRegistryKey(HKEY parent, const wchar_t* subKey, REGSAM access, HKEY* key);
// Sizes in bytes, as the registry counts them.
LONG QueryRegistryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size);
LONG QueryRegistryValue(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* size);
DWORD ExpandVariables(const char* text, char* expanded, DWORD size);
DWORD ExpandVariables(const wchar_t* text, wchar_t* expanded, DWORD size);
int ShowMessageBoxIndirect(const MSGBOXPARAMSA* params);
int ShowMessageBoxIndirect(const MSGBOXPARAMSW* params);

// The bytes that a NUL-terminated text takes in the ANSI code page, its NUL included: what the
// ANSI road would have held of it.
size_t AnsiSize(const char* text);
size_t AnsiSize(const wchar_t* text);
