// The application object: process start-up and exit around InitInstance.
#pragma once

#include <windows.h>

class CWinApp {
public:
    CWinApp() = default;
    virtual ~CWinApp() = default;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Returns FALSE to end the process without a message loop.
    virtual BOOL InitInstance() { return TRUE; }

    // The process entry's work: failing file probes raise no system error boxes, then
    // InitInstance runs. Returns the process exit code.
    int Run();
};
