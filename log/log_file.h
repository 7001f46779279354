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
    BOOL OpenIfClosed();
    void Close() override;

    // Each writes one line: the timestamp, a space, and the formatted message, which carries
    // its own line end. Returns 0 when the line could not be written.
    BOOL WriteV(const char* format, va_list args);
    BOOL Write(const char* format, ...);
    BOOL WriteResource(UINT id, ...);

    std::string m_strPath;
    // Switched on once by the main window; writers of event lines test it first.
    BOOL m_bEnabled;

private:
    // Held over a whole line and over Close: lines of two threads never interleave, and two
    // threads that both find the file closed never open it twice.
    CCriticalSection m_lock;
};

extern CLogFile g_logFile;

// The 17-character "C" locale "%c" form of a time (for example "12/07/26 22:16:22"), or
// the empty string when the time cannot be converted to local time.
std::string FormatLogTimestamp(long long secondsSince1970);
