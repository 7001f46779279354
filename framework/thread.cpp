#include "thread.h"

#include "exception_state.h"

#include <new>
#include <process.h>

namespace {
// Each thread's own main window; worker threads inherit their creator's. A slot of the
// system's thread-local storage rather than thread_local, whose storage the C++ runtime
// allocates on a thread's first use and aborts the process when it cannot.
const DWORD g_dwMainWndSlot = ::TlsAlloc();
} // namespace

HWND GetThreadMainWindow() {
    return static_cast<HWND>(::TlsGetValue(g_dwMainWndSlot));
}

void SetThreadMainWindow(HWND hWnd) {
    ::TlsSetValue(g_dwMainWndSlot, hWnd);
}

CWorkerThread::CWorkerThread(WorkerThreadProc proc, void* param, HWND hMainWnd)
    : m_pfnProc(proc), m_pParam(param), m_hMainWnd(hMainWnd) {}

CWorkerThread::~CWorkerThread() {
    if (m_hThread != nullptr)
        ::CloseHandle(m_hThread);
}

CWorkerThread* CWorkerThread::Begin(WorkerThreadProc proc, void* param, int priority,
                                    UINT stackSize, DWORD flags) {
    CWorkerThread* thread = new (std::nothrow) CWorkerThread(proc, param, GetThreadMainWindow());
    if (thread == nullptr)
        return nullptr;
    // Always start suspended, so the priority is set before the thread runs a single line.
    unsigned id = 0;
    uintptr_t h =
        _beginthreadex(nullptr, stackSize, &CWorkerThread::Entry, thread, CREATE_SUSPENDED, &id);
    if (h == 0) {
        delete thread;
        return nullptr;
    }
    thread->m_hThread = reinterpret_cast<HANDLE>(h);
    ::SetThreadPriority(thread->m_hThread, priority);
    if ((flags & CREATE_SUSPENDED) == 0)
        ::ResumeThread(thread->m_hThread);
    return thread;
}

unsigned __stdcall CWorkerThread::Entry(void* self) {
    CThreadExceptionState exceptionState;
    CWorkerThread* thread = static_cast<CWorkerThread*>(self);
    SetThreadMainWindow(thread->m_hMainWnd);
    // Nothing may unwind out of a thread's entry: that would end the whole process.
    UINT exitCode = static_cast<UINT>(-1);
    try {
        exitCode = thread->m_pfnProc(thread->m_pParam);
    } catch (...) {
    }
    if (thread->m_bAutoDelete)
        delete thread;
    return exitCode;
}
