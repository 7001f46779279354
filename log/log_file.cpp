#include "log_file.h"

#include "framework/text.h"

#include <ctime>
#include <new>

CLogFile::CLogFile() : m_bEnabled(0) {}

CLogFile::~CLogFile() {
    Close();
}

BOOL CLogFile::SetPathAndOpen(const char* path) {
    CLockGuard guard(m_lock);
    m_strPath = path != nullptr ? path : "";
    if (!OpenIfClosed())
        return 0;
    Close();
    return 1;
}

BOOL CLogFile::OpenIfClosed() {
    CLockGuard guard(m_lock);
    if (m_hFile != INVALID_HANDLE_VALUE)
        return 1;
    return Open(m_strPath.c_str(), kOpenMode) ? 1 : 0;
}

void CLogFile::Close() {
    CLockGuard guard(m_lock);
    if (m_hFile == INVALID_HANDLE_VALUE)
        return;
    try {
        CStdioFile::Close();
    } catch (const CFileException&) {
        // The file is closed either way; there is nobody to tell.
    }
}

namespace {

// The system clock as seconds since 1970-01-01 00:00 UTC: the value time() gives, without the
// time-zone lookup that some C libraries make on every call.
long long SecondsSince1970() {
    FILETIME now;
    ::GetSystemTimeAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    constexpr unsigned long long kTicksFrom1601To1970 = 116444736000000000ULL;
    return static_cast<long long>((ticks.QuadPart - kTicksFrom1601To1970) / 10000000ULL);
}

} // namespace

std::string FormatLogTimestamp(long long secondsSince1970) {
    // The C library of every Windows we run on converts 32-bit times only; a time outside
    // that range would come back as some other date.
    if (secondsSince1970 < 0 || secondsSince1970 > 0x7FFFFFFFLL)
        return std::string();
    time_t when = static_cast<time_t>(secondsSince1970);
    struct tm* local = std::localtime(&when);
    if (local == nullptr)
        return std::string();
    char text[128];
    size_t length = std::strftime(text, sizeof text, "%c", local);
    return std::string(text, length); // length 0 when it did not fit
}

BOOL CLogFile::WriteV(const char* format, va_list args) {
    CLockGuard guard(m_lock);
    if (!OpenIfClosed())
        return 0;
    long long now = SecondsSince1970();
    try {
        std::string message = FormatV(format, args);
        try {
            SeekToEnd();
            WriteString(FormatLogTimestamp(now).c_str());
            WriteString(" ");
            WriteString(message.c_str());
            Flush();
        } catch (const CFileException&) {
            return 0;
        }
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

BOOL CLogFile::Write(const char* format, ...) {
    va_list args;
    va_start(args, format);
    BOOL written = WriteV(format, args);
    va_end(args);
    return written;
}

BOOL CLogFile::WriteResource(UINT id, ...) {
    std::string format = LoadResourceString(id);
    va_list args;
    va_start(args, id);
    BOOL written = WriteV(format.c_str(), args);
    va_end(args);
    return written;
}
