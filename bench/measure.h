// Clocks, statistics and the process figures the benchmarks read.
#pragma once

#include "child_process.h"

#include <windows.h>

#include <string>
#include <vector>

namespace bench {

// QueryPerformanceCounter: under Wine one clock for every process of the machine.
LONGLONG Qpc();
double QpcToMs(LONGLONG ticks);

// Nearest-rank percentile (0-100) of the samples; 0 for none.
double Percentile(std::vector<double> samples, double percent);
inline double Median(const std::vector<double>& samples) {
    return Percentile(samples, 50);
}

// Kernel plus user time of a process, in milliseconds.
double ProcessCpuMs(HANDLE hProcess);
// Private (committed, unshared) memory of a process in bytes, 0 when it cannot be read.
SIZE_T ProcessPrivateBytes(HANDLE hProcess);

// "12.3" style numbers for the table.
std::string Fixed(double value, int decimals);

// Runs a program in dir with arguments and times it from the call that creates the process
// to the moment its dialog is visible with at least one list line, then ends it. Returns
// the milliseconds, or a negative value when the window never came.
double TimeStartup(const std::string& exe, const std::string& dir, const std::string& arguments);

LRESULT ListCount(HWND hDialog);

// Waits for the child's main dialog with its first list line, polling every millisecond
// (the start-up figure is read off this wait); null when the time ran out or it ended.
HWND WaitForStartedWindow(const CChildProcess& child, DWORD timeoutMs = 20000);

} // namespace bench
