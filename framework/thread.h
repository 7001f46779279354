// Worker threads and the per-thread notion of the application's main window.
#pragma once

#include <windows.h>

// The calling thread's main window: the one it was given with SetThreadMainWindow, or,
// for a worker thread, the main window of the thread that started it.
HWND GetThreadMainWindow();
void SetThreadMainWindow(HWND hWnd);

typedef UINT(__cdecl* WorkerThreadProc)(void* param);

class CWorkerThread {
public:
    // Starts proc(param) on a new thread with the given priority and stack size (0: default).
    // With CREATE_SUSPENDED in flags the thread waits for ResumeThread. Returns null when
    // the thread cannot be created. The new thread takes the caller's main window as its own.
    static CWorkerThread* Begin(WorkerThreadProc proc, void* param, int priority, UINT stackSize,
                                DWORD flags);

    // Closes the thread handle; the thread itself is not stopped.
    ~CWorkerThread();
    CWorkerThread(const CWorkerThread&) = delete;
    CWorkerThread& operator=(const CWorkerThread&) = delete;

    DWORD ResumeThread() { return ::ResumeThread(m_hThread); }

    HANDLE m_hThread = nullptr;
    // When TRUE the thread deletes this object as it ends; switch it off (while the thread is
    // still suspended) to keep the object and its handle valid until the owner deletes it.
    BOOL m_bAutoDelete = TRUE;

private:
    CWorkerThread(WorkerThreadProc proc, void* param, HWND hMainWnd);
    static unsigned __stdcall Entry(void* self);

    WorkerThreadProc m_pfnProc;
    void* m_pParam;
    HWND m_hMainWnd;
};
