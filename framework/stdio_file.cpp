#include "stdio_file.h"

#include "wide_api.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>

#include <utility>

// The stream owns the descriptor and the handle under it: closing it closes all three.
CStdioFile::~CStdioFile() {
    if (m_pStream != nullptr)
        std::fclose(m_pStream);
}

BOOL CStdioFile::Open(const char* path, UINT flags) {
    return OpenPath(path, flags);
}

BOOL CStdioFile::Open(const wchar_t* path, UINT flags) {
    return OpenPath(path, flags);
}

template <typename Char> BOOL CStdioFile::OpenPath(const Char* path, UINT flags) {
    if (m_hFile != INVALID_HANDLE_VALUE || path == nullptr || *path == Char() ||
        (flags & ~kKnownFlags) != 0 || (flags & kRequiredFlags) != kRequiredFlags)
        return FALSE;

    DWORD access = GENERIC_READ | GENERIC_WRITE;
    DWORD share = (flags & shareDenyWrite) ? FILE_SHARE_READ : 0;
    DWORD disposition = OPEN_EXISTING;
    if (flags & modeCreate)
        disposition = (flags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;

    HANDLE h = CreateFileHandle(path, access, share, disposition, FILE_ATTRIBUTE_NORMAL);
    if (h == INVALID_HANDLE_VALUE)
        return FALSE;

    // The update mode reads and writes; positioning is left to the caller.
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_TEXT | _O_RDWR);
    if (fd == -1) {
        ::CloseHandle(h);
        return FALSE;
    }
    FILE* stream = _fdopen(fd, "r+t");
    if (stream == nullptr) {
        _close(fd); // also closes the handle
        return FALSE;
    }
    m_pStream = stream;
    m_hFile = h;
    return TRUE;
}

void CStdioFile::ThrowLastError() {
    DWORD error = ::GetLastError();
    if (m_pStream != nullptr)
        std::clearerr(m_pStream);
    throw CFileException(error != 0 ? error : ERROR_WRITE_FAULT);
}

void CStdioFile::SeekToEnd() {
    if (m_pStream == nullptr || std::fseek(m_pStream, 0, SEEK_END) != 0)
        ThrowLastError();
}

void CStdioFile::WriteString(const char* text) {
    if (m_pStream == nullptr || std::fputs(text, m_pStream) == EOF)
        ThrowLastError();
}

void CStdioFile::Flush() {
    if (m_pStream == nullptr || std::fflush(m_pStream) != 0)
        ThrowLastError();
}

void CStdioFile::Close() {
    FILE* stream = std::exchange(m_pStream, nullptr);
    m_hFile = INVALID_HANDLE_VALUE;
    if (stream != nullptr && std::fclose(stream) != 0)
        throw CFileException(ERROR_WRITE_FAULT);
}
