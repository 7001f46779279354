// Message boxes captioned with the application's title and owned by the main window.
#pragma once

#include <windows.h>

// Fills format printf-style and shows it; returns the button pressed, or 0 when no box could
// be shown. A type without an icon whose buttons are OK, OK/Cancel, Yes/No/Cancel or Yes/No
// gets the exclamation icon.
int MessageBoxFormat(const char* format, UINT type, ...);
// The same, with the format taken from string-table entry id.
int MessageBoxResource(UINT id, UINT type, ...);
