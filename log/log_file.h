// The event log: timestamped lines appended to a text file that stays open between lines.
#pragma once

#include "framework/stdio_file.h"
#include "framework/sync.h"

#include <cstdarg>
#include <string>

class CLogFile : public CStdioFile {
public:
    // Read-write, others may read but not write, open or create, never truncate, text mode.
    static constexpr UINT kOpenMode =
        modeReadWrite | shareDenyWrite | modeCreate | modeNoTruncate | typeText;

    CLogFile();
    ~CLogFile() override;

    // Stores the path and proves that the file can be opened (creating it), then closes it.
    BOOL SetPathAndOpen(const char* path);
    // The same for a wide path, on the NT family: a folder whose name the ANSI code page
    // cannot spell is opened as it is named, not as "?" or as a look-alike folder.
    BOOL SetPathAndOpen(const wchar_t* path);
    BOOL OpenIfClosed();
    void Close() override;

    // Each writes one line: the timestamp, a space, and the formatted message, which carries
    // its own line end. Returns 0 when the line could not be written.
    BOOL WriteV(const char* format, va_list args);
    BOOL Write(const char* format, ...);
    BOOL WriteResource(UINT id, ...);

    // In the object itself, not on the heap: storing the path cannot fail for lack of memory,
    // which would leave the program without a log for the rest of its run. A path that does
    // not fit is stored empty, and so never opened.
    char m_strPath[MAX_PATH];
    // The path in full when it was set wide (m_strPath then holds it as the code page spells
    // it, or nothing when that does not fit); empty when it was set in ANSI. Opened instead of
    // m_strPath whenever it is set.
    wchar_t m_strWidePath[MAX_PATH];
    // Switched on once by the main window; writers of event lines test it first.
    BOOL m_bEnabled;

private:
    BOOL ProveOpen();

    // TRUE once a line was written whole since the file was opened: the stream stands at the
    // end from then on. The file is held deny-write, so nobody else moves its end, and a write
    // that fails stops where its last byte went, which is the end too (the C library drops
    // what it could not write). After an open the position is not known: the next line seeks.
    BOOL m_bAtEnd = FALSE;
    // Held over a whole line and over Close: lines of two threads never interleave, and two
    // threads that both find the file closed never open it twice.
    CCriticalSection m_lock;
};

extern CLogFile g_logFile;

// Room for a timestamp and its NUL.
constexpr size_t kLogTimestampSize = 18;

// Writes the 17-character form that the C library's "%c" gives in the "C" locale
// ("12/07/26 22:16:22": month/day/two-digit year, 24-hour time) of a local time, and
// returns its length. Taken from the system's local time, not from a 32-bit time_t, it
// stays right after 2038. A time with a field out of range gives the empty stamp (0).
size_t FormatLogTimestamp(const SYSTEMTIME& local, char (&text)[kLogTimestampSize]);
