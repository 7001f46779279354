#include "files.h"

#include <windows.h>

#include <algorithm>

namespace {

std::wstring Convert(UINT codePage, const std::string& text) {
    if (text.empty())
        return std::wstring();
    int size =
        ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
    return wide;
}

std::string Convert(UINT codePage, const std::wstring& wide) {
    if (wide.empty())
        return std::string();
    int size = ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()),
                                     nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(size), '\0');
    ::WideCharToMultiByte(codePage, 0, wide.data(), static_cast<int>(wide.size()), &text[0], size,
                          nullptr, nullptr);
    return text;
}

} // namespace

// Wide, so that a tree with names outside the ANSI code page goes too.
void RemoveTree(const std::wstring& dir) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((dir + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = data.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring path = dir + L"\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                ::DeleteFileW(path.c_str());
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(dir.c_str());
}

std::wstring Widen(const std::string& text) {
    return Convert(CP_ACP, text);
}

std::string Narrow(const std::wstring& text) {
    return Convert(CP_ACP, text);
}

std::string Utf8(const std::wstring& text) {
    return Convert(CP_UTF8, text);
}

std::string WindowsPath(std::string path) {
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

// Set by CMake for the whole build.
std::string ProgramPath() {
    return WindowsPath(LINKVIGIL_EXE);
}
std::string AllocFaultsProgramPath() {
    return WindowsPath(LINKVIGIL_ALLOC_FAULTS_EXE);
}
std::string WindowProbePath() {
    return WindowsPath(WINDOW_PROBE_DLL);
}

namespace {

// Each Wine prefix that tests run in at once has its own scratch folder (wine-run names it).
std::string ScratchRoot() {
    char named[MAX_PATH];
    DWORD length = ::GetEnvironmentVariableA("LINKVIGIL_TEST_SCRATCH", named, sizeof named);
    return WindowsPath(length > 0 && length < sizeof named ? named : TEST_SCRATCH_DIR);
}

} // namespace

std::string MakeScratchDir(const std::string& name) {
    const std::string root = ScratchRoot();
    std::string dir = root + "\\" + name;
    ::CreateDirectoryA(root.c_str(), nullptr);
    RemoveTree(Widen(dir));
    ::CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

std::wstring MakeScratchDir(const std::wstring& name) {
    const std::wstring root = Widen(ScratchRoot());
    std::wstring dir = root + L"\\" + name;
    ::CreateDirectoryW(root.c_str(), nullptr);
    RemoveTree(dir);
    ::CreateDirectoryW(dir.c_str(), nullptr);
    return dir;
}

namespace {

std::string ReadFrom(HANDLE h, size_t offset) {
    std::string data;
    if (h == INVALID_HANDLE_VALUE)
        return data;
    ::SetFilePointer(h, static_cast<LONG>(offset), nullptr, FILE_BEGIN);
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(h, buffer, sizeof buffer, &read, nullptr) && read > 0)
        data.append(buffer, read);
    ::CloseHandle(h);
    return data;
}

} // namespace

std::string ReadFileFrom(const std::string& path, size_t offset) {
    return ReadFrom(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr),
                    offset);
}

std::string ReadWholeFile(const std::string& path) {
    return ReadFileFrom(path, 0);
}

std::string ReadWholeFile(const std::wstring& path) {
    return ReadFrom(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  nullptr, OPEN_EXISTING, 0, nullptr),
                    0);
}

size_t FileSize(const std::string& path) {
    HANDLE h = ::CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return 0;
    DWORD size = ::GetFileSize(h, nullptr);
    ::CloseHandle(h);
    return size == INVALID_FILE_SIZE ? 0 : size;
}

bool FileExists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool FileExists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::wstring> FilesIn(const std::wstring& dir) {
    std::vector<std::wstring> files;
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((dir + L"\\*").c_str(), &data);
    for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = ::FindNextFileW(find, &data))
        if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            files.push_back(data.cFileName);
    if (find != INVALID_HANDLE_VALUE)
        ::FindClose(find);
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> SplitCrlfLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}
