// A buffered text file over an operating-system file handle: the part of a classic
// framework's stdio-file class that the event log needs.
#pragma once

#include <windows.h>

#include <cstdio>

// Raised by seek, write, flush and close when the operation fails.
class CFileException {
public:
    explicit CFileException(DWORD osError) : m_osError(osError) {}
    DWORD m_osError;
};

class CStdioFile {
public:
    // Open mode flags; they combine like the classic framework's.
    enum OpenFlags : UINT {
        modeRead = 0x0000,
        modeWrite = 0x0001,
        modeReadWrite = 0x0002,
        shareCompat = 0x0000,
        shareExclusive = 0x0010,
        shareDenyWrite = 0x0020,
        shareDenyRead = 0x0030,
        shareDenyNone = 0x0040,
        modeNoTruncate = 0x2000,
        modeCreate = 0x1000,
        typeText = 0x4000,
        typeBinary = 0x8000,
    };

    CStdioFile() = default;
    virtual ~CStdioFile();
    CStdioFile(const CStdioFile&) = delete;
    CStdioFile& operator=(const CStdioFile&) = delete;

    // Returns 0 on failure, raises nothing, and leaves the handle invalid.
    virtual BOOL Open(const char* path, UINT flags);
    // Each raises CFileException on failure.
    virtual void SeekToEnd();
    virtual void WriteString(const char* text);
    virtual void Flush();
    // Resets the handle to invalid and forgets the stream, then raises if closing failed.
    virtual void Close();

    // INVALID_HANDLE_VALUE whenever the file is closed.
    HANDLE m_hFile = INVALID_HANDLE_VALUE;

protected:
    FILE* m_pStream = nullptr;

private:
    void ThrowLastError();
};
