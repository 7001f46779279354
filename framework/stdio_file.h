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
    // Open mode flags, with the classic framework's values; only those the log opens with.
    // Without shareDenyWrite the file is shared with nobody, without modeCreate it must exist.
    enum OpenFlags : UINT {
        modeReadWrite = 0x0002, // required: there is no read-only or write-only mode
        shareDenyWrite = 0x0020,
        modeCreate = 0x1000,
        modeNoTruncate = 0x2000, // with modeCreate: an existing file keeps its content
        typeText = 0x4000,       // required: CRLF line ends, there is no binary mode
    };
    static constexpr UINT kRequiredFlags = modeReadWrite | typeText;
    static constexpr UINT kKnownFlags =
        kRequiredFlags | shareDenyWrite | modeCreate | modeNoTruncate;

    CStdioFile() = default;
    virtual ~CStdioFile();
    CStdioFile(const CStdioFile&) = delete;
    CStdioFile& operator=(const CStdioFile&) = delete;

    // Returns 0 on failure (flags outside kKnownFlags or without kRequiredFlags included),
    // raises nothing, and leaves the handle invalid.
    virtual BOOL Open(const char* path, UINT flags);
    // The same for a wide path: on the NT family only (framework/wide_api.h).
    virtual BOOL Open(const wchar_t* path, UINT flags);
    // Each raises CFileException on failure.
    // Moves to the end with 64 bits, whatever the file's size; after a throw the position is
    // not known, and nothing may be written before the next seek.
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
    template <typename Char> BOOL OpenPath(const Char* path, UINT flags);
    void ThrowLastError();
};
