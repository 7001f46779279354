// Files as the tests see them: read whole while another process may hold them open, split
// into CRLF lines, and scratch folders of the tests' own.
#pragma once

#include <string>
#include <vector>

// A path with forward slashes (as CMake writes them) in the Windows form.
std::string WindowsPath(std::string path);
// What the build made, by its Windows path: the program, the program built for allocation
// faults, the window probe's hook library.
std::string ProgramPath();
std::string AllocFaultsProgramPath();
std::string WindowProbePath();

// Removes dir and everything in it, whatever the names.
void RemoveTree(const std::wstring& dir);

// A fresh directory under the build's scratch folder (LINKVIGIL_TEST_SCRATCH where that is
// set), emptied first.
std::string MakeScratchDir(const std::string& name);
// The same for a name in wide characters, which may hold letters the ANSI code page lacks
// (Wine's Unix side names such files only under a UTF-8 locale).
std::wstring MakeScratchDir(const std::wstring& name);

// The file from offset on, read as another program may while the log is open ("" when it
// cannot be opened).
std::string ReadFileFrom(const std::string& path, size_t offset);
std::string ReadWholeFile(const std::string& path);
std::string ReadWholeFile(const std::wstring& path);
size_t FileSize(const std::string& path);
bool FileExists(const std::string& path);
bool FileExists(const std::wstring& path);
// The names of the files (not folders) in dir, sorted.
std::vector<std::wstring> FilesIn(const std::wstring& dir);

// Between ANSI text (the code page's) and wide text; UTF-8 for what the tests print.
std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);
std::string Utf8(const std::wstring& text);

// The lines of a text, each without its CRLF; an unterminated last line is kept.
std::vector<std::string> SplitCrlfLines(const std::string& text);
