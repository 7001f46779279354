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

// Windows' msvcrt seeks with SetFilePointer and no high part: past 4 GiB its fseek fails, and
// at an end of exactly 4 GiB - 1 the position (-1 as a long) reads as a failure. So the end is
// found through the handle, with 64 bits. Before that the stream gets a positioning call of
// its own, to the start, which always fits: it writes out its buffer, forgets whether it was
// reading or writing, and clears its end-of-file marks and those of its descriptor, so its next
// write goes, in text mode, to wherever the handle points. Wine's msvcrt seeks with 64 bits,
// so under Wine its fseek would have done as well.
void CStdioFile::SeekToEnd() {
    // The flush first: fseek drops what it cannot write without saying so.
    if (m_pStream == nullptr || std::fflush(m_pStream) != 0 ||
        std::fseek(m_pStream, 0, SEEK_SET) != 0)
        ThrowLastError();
    // A handle that was just positioned at its start is a file's, and moves to its end. Were it
    // to fail, the stream would stand at the start: the caller must not write after a throw.
    LONG high = 0;
    ::SetLastError(NO_ERROR); // a low part of 0xFFFFFFFF is also the failure value
    if (::SetFilePointer(m_hFile, 0, &high, FILE_END) == INVALID_SET_FILE_POINTER &&
        ::GetLastError() != NO_ERROR)
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
