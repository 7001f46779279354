#include "stdio_file.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>

CStdioFile::~CStdioFile() {
    if (m_pStream != nullptr)
        std::fclose(m_pStream);
    else if (m_hFile != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_hFile);
}

BOOL CStdioFile::Open(const char* path, UINT flags) {
    if (m_hFile != INVALID_HANDLE_VALUE || path == nullptr || *path == '\0')
        return FALSE;

    DWORD access = 0;
    switch (flags & 0x3) {
    case modeRead:
        access = GENERIC_READ;
        break;
    case modeWrite:
        access = GENERIC_WRITE;
        break;
    default:
        access = GENERIC_READ | GENERIC_WRITE;
        break;
    }

    DWORD share = 0;
    switch (flags & 0x70) {
    case shareDenyWrite:
        share = FILE_SHARE_READ;
        break;
    case shareDenyRead:
        share = FILE_SHARE_WRITE;
        break;
    case shareDenyNone:
        share = FILE_SHARE_READ | FILE_SHARE_WRITE;
        break;
    default: // exclusive and compatibility modes share nothing
        break;
    }

    DWORD disposition = OPEN_EXISTING;
    if (flags & modeCreate)
        disposition = (flags & modeNoTruncate) ? OPEN_ALWAYS : CREATE_ALWAYS;

    HANDLE h =
        ::CreateFileA(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return FALSE;

    int crtMode = (flags & typeBinary) ? _O_BINARY : _O_TEXT;
    const char* streamMode = nullptr;
    if ((flags & 0x3) == modeRead) {
        crtMode |= _O_RDONLY;
        streamMode = (flags & typeBinary) ? "rb" : "rt";
    } else {
        // The update mode reads and writes; positioning is left to the caller.
        crtMode |= (flags & 0x3) == modeWrite ? _O_WRONLY : _O_RDWR;
        streamMode = (flags & typeBinary) ? "r+b" : "r+t";
    }

    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), crtMode);
    if (fd == -1) {
        ::CloseHandle(h);
        return FALSE;
    }
    FILE* stream = _fdopen(fd, streamMode);
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
    FILE* stream = m_pStream;
    HANDLE h = m_hFile;
    m_pStream = nullptr;
    m_hFile = INVALID_HANDLE_VALUE;
    bool failed = false;
    if (stream != nullptr)
        failed = std::fclose(stream) != 0; // closes the descriptor and the handle with it
    else if (h != INVALID_HANDLE_VALUE)
        failed = ::CloseHandle(h) == FALSE;
    if (failed)
        throw CFileException(ERROR_WRITE_FAULT);
}
