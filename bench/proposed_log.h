// Prototypes of changes proposed for CLogFile::WriteV, measured beside the real class so
// that the expected gain is a measured one. Not the program's code: each mirrors WriteV step
// for step and differs only where its comment says.
#pragma once

#include "framework/stdio_file.h"
#include "framework/sync.h"
#include "framework/text.h"
#include "log/log_file.h"

#include <cstdarg>
#include <ctime>
#include <new>
#include <string>

namespace bench {

// The timestamp as the log formed it while it went through the C library: localtime and
// strftime("%c"), which convert 32-bit times only. Kept here as the measured baseline.
inline std::string CLibraryTimestamp(long long secondsSince1970) {
    if (secondsSince1970 < 0 || secondsSince1970 > 0x7FFFFFFFLL)
        return std::string();
    time_t when = static_cast<time_t>(secondsSince1970);
    struct tm* local = std::localtime(&when);
    char text[128];
    size_t length = local != nullptr ? std::strftime(text, sizeof text, "%c", local) : 0;
    return std::string(text, length);
}

class CProposedLog : public CStdioFile {
public:
    // systemClock: the seconds since 1970 come from GetSystemTimeAsFileTime instead of the C
    //   library's time(), which under Wine also reads the time-zone settings on every call.
    // reuseTimestamp: the timestamp text is formatted once per second and reused; the text
    //   is the same, only localtime and strftime run less often.
    // seekWhenNeeded: the seek to the end runs only after the file was opened and after a
    //   line that failed; otherwise the stream already stands at the end.
    CProposedLog(bool systemClock, bool reuseTimestamp, bool seekWhenNeeded)
        : m_bSystemClock(systemClock), m_bReuseTimestamp(reuseTimestamp),
          m_bSeekWhenNeeded(seekWhenNeeded) {}

    // Seconds since 1970-01-01 00:00 UTC from the system clock, as time() gives them.
    static long long SystemSeconds() {
        FILETIME now;
        ::GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER ticks;
        ticks.LowPart = now.dwLowDateTime;
        ticks.HighPart = now.dwHighDateTime;
        return static_cast<long long>((ticks.QuadPart - 116444736000000000ULL) / 10000000ULL);
    }

    BOOL OpenLog(const char* path) {
        m_bAtEnd = false;
        return Open(path, CLogFile::kOpenMode);
    }

    BOOL Write(const char* format, ...) {
        va_list args;
        va_start(args, format);
        BOOL written = WriteV(format, args);
        va_end(args);
        return written;
    }

    BOOL WriteV(const char* format, va_list args) {
        CLockGuard guard(m_lock);
        if (m_hFile == INVALID_HANDLE_VALUE)
            return 0;
        long long now =
            m_bSystemClock ? SystemSeconds() : static_cast<long long>(std::time(nullptr));
        try {
            std::string message = FormatV(format, args);
            try {
                if (!m_bSeekWhenNeeded || !m_bAtEnd)
                    SeekToEnd();
                m_bAtEnd = false;
                WriteString(Timestamp(now).c_str());
                WriteString(" ");
                WriteString(message.c_str());
                Flush();
                m_bAtEnd = true;
            } catch (const CFileException&) {
                return 0;
            }
        } catch (const std::bad_alloc&) {
            return 0;
        }
        return 1;
    }

private:
    const std::string& Timestamp(long long now) {
        if (!m_bReuseTimestamp || now != m_llStampTime) {
            m_strStamp = CLibraryTimestamp(now);
            m_llStampTime = now;
        }
        return m_strStamp;
    }

    CCriticalSection m_lock;
    bool m_bSystemClock;
    bool m_bReuseTimestamp;
    bool m_bSeekWhenNeeded;
    bool m_bAtEnd = false;
    long long m_llStampTime = -1;
    std::string m_strStamp;
};

} // namespace bench
