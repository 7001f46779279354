// Programs the tests and benchmarks start: owned, and ended when their owner goes.
#pragma once

#include <windows.h>

#include <string>

// A program started with CreateProcess; ended at once (exit code 99) when this goes out of
// scope while it still runs.
class CChildProcess {
public:
    CChildProcess() = default;
    ~CChildProcess();
    CChildProcess(const CChildProcess&) = delete;
    CChildProcess& operator=(const CChildProcess&) = delete;

    // Runs exe in dir, with arguments after its quoted path on the command line. A process
    // started before is ended first if it still runs.
    bool Start(const std::string& exe, const std::string& dir, const std::string& arguments = "");
    // The same by wide paths, which may hold letters the ANSI code page lacks.
    bool Start(const std::wstring& exe, const std::wstring& dir);
    // TRUE when the process ended within the time-out; its exit code then.
    bool WaitForExit(DWORD timeoutMs, DWORD* exitCode = nullptr) const;
    // Ends the process at once, wherever it is; TRUE when it was gone within 20 s.
    bool Terminate(UINT exitCode);

    HANDLE Process() const { return m_info.hProcess; }
    DWORD ProcessId() const { return m_info.dwProcessId; }

private:
    void Release();

    PROCESS_INFORMATION m_info = {};
};

// A visible dialog of the process: the program's main window (the one with the event list)
// when main is TRUE, any other (a message box) otherwise; null when there is none. With
// notYetShown, also one that is made but not shown yet.
HWND FindDialogOfProcess(DWORD processId, bool main, bool notYetShown = false);
