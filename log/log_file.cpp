#include "log_file.h"

#include "framework/text.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace {

// The path into store when it fits with its NUL; otherwise store is left empty.
template <typename Char, size_t N> void StorePath(Char (&store)[N], const Char* path) {
    store[0] = Char();
    if (path == nullptr)
        return;
    size_t length = std::char_traits<Char>::length(path);
    if (length < N)
        std::memcpy(store, path, (length + 1) * sizeof(Char));
}

} // namespace

CLogFile::CLogFile() : m_strPath(), m_strWidePath(), m_bEnabled(0) {}

CLogFile::~CLogFile() {
    Close();
}

BOOL CLogFile::SetPathAndOpen(const char* path) {
    CLockGuard guard(m_lock);
    m_strWidePath[0] = L'\0';
    StorePath(m_strPath, path);
    return ProveOpen();
}

BOOL CLogFile::SetPathAndOpen(const wchar_t* path) {
    CLockGuard guard(m_lock);
    StorePath(m_strWidePath, path);
    m_strPath[0] = '\0';
    if (m_strWidePath[0] != L'\0' && ::WideCharToMultiByte(CP_ACP, 0, m_strWidePath, -1, m_strPath,
                                                           sizeof m_strPath, nullptr, nullptr) == 0)
        m_strPath[0] = '\0';
    return ProveOpen();
}

BOOL CLogFile::ProveOpen() {
    if (!OpenIfClosed())
        return 0;
    Close();
    return 1;
}

BOOL CLogFile::OpenIfClosed() {
    CLockGuard guard(m_lock);
    if (m_hFile != INVALID_HANDLE_VALUE)
        return 1;
    m_bAtEnd = FALSE;
    BOOL opened =
        m_strWidePath[0] != L'\0' ? Open(m_strWidePath, kOpenMode) : Open(m_strPath, kOpenMode);
    return opened ? 1 : 0;
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

size_t FormatLogTimestamp(const SYSTEMTIME& local, char (&text)[kLogTimestampSize]) {
    text[0] = '\0';
    if (local.wMonth < 1 || local.wMonth > 12 || local.wDay < 1 || local.wDay > 31 ||
        local.wHour > 23 || local.wMinute > 59 || local.wSecond > 59)
        return 0;
    int length =
        std::snprintf(text, sizeof text, "%02u/%02u/%02u %02u:%02u:%02u", unsigned{local.wMonth},
                      unsigned{local.wDay}, unsigned{local.wYear} % 100u, unsigned{local.wHour},
                      unsigned{local.wMinute}, unsigned{local.wSecond});
    if (length != static_cast<int>(kLogTimestampSize) - 1) {
        text[0] = '\0';
        return 0;
    }
    return static_cast<size_t>(length);
}

BOOL CLogFile::WriteV(const char* format, va_list args) {
    CLockGuard guard(m_lock);
    if (!OpenIfClosed())
        return 0;
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    try {
        std::string message = FormatV(format, args);
        char stamp[kLogTimestampSize];
        FormatLogTimestamp(now, stamp);
        try {
            if (!m_bAtEnd)
                SeekToEnd();
            WriteString(stamp);
            WriteString(" ");
            WriteString(message.c_str());
            Flush();
            m_bAtEnd = TRUE;
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
    std::string format;
    try {
        format = LoadResourceString(id);
    } catch (const std::bad_alloc&) {
        return 0; // like any line that cannot be formatted: dropped
    }
    va_list args;
    va_start(args, id);
    BOOL written = WriteV(format.c_str(), args);
    va_end(args);
    return written;
}
