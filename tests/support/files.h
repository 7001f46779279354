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

// A fresh directory under the build's scratch folder (LINKVIGIL_TEST_SCRATCH where that is
// set), emptied first.
std::string MakeScratchDir(const std::string& name);

// The file from offset on, read as another program may while the log is open ("" when it
// cannot be opened).
std::string ReadFileFrom(const std::string& path, size_t offset);
std::string ReadWholeFile(const std::string& path);
size_t FileSize(const std::string& path);
bool FileExists(const std::string& path);

// The lines of a text, each without its CRLF; an unterminated last line is kept.
std::vector<std::string> SplitCrlfLines(const std::string& text);
