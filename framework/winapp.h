// The application object: process start-up and exit around InitInstance.
#pragma once

#include <windows.h>

class CWinApp {
public:
    CWinApp() = default;
    virtual ~CWinApp() = default;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Runs the application; its result is kept for the classic signature only: a
    // dialog-based application does all its work here, and no message loop follows.
    virtual BOOL InitInstance() { return FALSE; }

    // The process entry's work: failing file probes raise no system error boxes, then
    // InitInstance runs. Returns the process exit code, 0.
    int Run();
};
