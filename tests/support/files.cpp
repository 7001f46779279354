#include "files.h"

#include <windows.h>

namespace {

void RemoveTree(const std::string& dir) {
    WIN32_FIND_DATAA data;
    HANDLE find = ::FindFirstFileA((dir + "\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = data.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = dir + "\\" + name;
            if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                ::DeleteFileA(path.c_str());
        } while (::FindNextFileA(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryA(dir.c_str());
}

} // namespace

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

std::string MakeScratchDir(const std::string& name) {
    // Each Wine prefix that tests run in at once has its own (wine-run names it).
    char named[MAX_PATH];
    DWORD length = ::GetEnvironmentVariableA("LINKVIGIL_TEST_SCRATCH", named, sizeof named);
    const std::string root =
        WindowsPath(length > 0 && length < sizeof named ? named : TEST_SCRATCH_DIR);
    std::string dir = root + "\\" + name;
    ::CreateDirectoryA(root.c_str(), nullptr);
    RemoveTree(dir);
    ::CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

std::string ReadFileFrom(const std::string& path, size_t offset) {
    std::string data;
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
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

std::string ReadWholeFile(const std::string& path) {
    return ReadFileFrom(path, 0);
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

std::vector<std::string> SplitCrlfLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(text.substr(start, end - start));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}
