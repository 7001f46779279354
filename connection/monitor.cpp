// The monitor thread: a check whenever RAS reports a connection made or ended, or every
// 2000 ms where RAS cannot or will not report that.
#include "connection.h"

#include "app/message_box.h"
#include "app/resource.h"
#include "framework/handle.h"
#include "framework/thread.h"

HANDLE g_hStopEvent = nullptr;
CWorkerThread* g_pMonitorThread = nullptr;

namespace {
// Closes one of the module's events and forgets it.
void CloseEvent(HANDLE& hEvent) {
    ::CloseHandle(hEvent);
    hEvent = nullptr;
}

// How long to wait before looking again unasked. RAS signals a connection "created" (its page
// names no stage), nothing when its address arrives later (Windows 9x lists a connection from
// the start of its dial, and a slow link outlasts the settle delay). So while the address is
// pending, and after a check that ran out of memory, the check is tried again at the polling
// interval: the change is not lost until the next signal.
DWORD WaitAfter(CheckOutcome outcome) {
    return outcome == CheckOutcome::Settled ? INFINITE : kPollIntervalMs;
}

// Looks once, then at each RAS signal. The first look comes after the registration: a change
// made before it is in the table, one made after it is signalled, and none falls between.
// This also covers a restart from the button: what changed while monitoring was off is seen
// at once. The stop event ends every wait.
void WatchConnections(HANDLE hNotify) {
    // A notification pending together with the stop signal is taken first.
    HANDLE waitList[2] = {hNotify, g_hStopEvent};
    DWORD timeout = WaitAfter(RunConnectionCheck());
    for (;;) {
        DWORD woken = ::WaitForMultipleObjects(2, waitList, FALSE, timeout);
        if (woken != WAIT_OBJECT_0 && woken != WAIT_TIMEOUT)
            break;
        if (woken == WAIT_OBJECT_0 && IsWindows9x())
            ::Sleep(kSettleDelayMs);
        timeout = WaitAfter(RunConnectionCheck());
    }
}
} // namespace

BOOL StartMonitoring() {
    if (!LoadRasApi())
        return FALSE;
    if (g_pMonitorThread != nullptr)
        return TRUE;

    g_hStopEvent = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (g_hStopEvent == nullptr)
        return FALSE;

    g_pMonitorThread = CWorkerThread::Begin(MonitorThreadProc, nullptr, THREAD_PRIORITY_LOWEST, 0,
                                            CREATE_SUSPENDED);
    if (g_pMonitorThread == nullptr) {
        CloseEvent(g_hStopEvent);
        MessageBoxResource(IDS_THREAD_FAILED, MB_ICONEXCLAMATION);
        return FALSE;
    }
    g_pMonitorThread->m_bAutoDelete = FALSE;
    g_pMonitorThread->ResumeThread();
    return TRUE;
}

void StopMonitoring() {
    if (g_pMonitorThread == nullptr)
        return;
    ::SetEvent(g_hStopEvent);
    ::WaitForSingleObject(g_pMonitorThread->m_hThread, INFINITE);
    CloseEvent(g_hStopEvent);
    delete g_pMonitorThread;
    g_pMonitorThread = nullptr;
}

UINT __cdecl MonitorThreadProc(void*) {
    if (RasConnectionNotificationA == nullptr)
        return PollConnections();

    // Without an event to register, or with the registration exported but refused (Wine's
    // own RAS refuses every one), the thread polls: otherwise nothing would ever be looked at
    // while the button says that monitoring is on.
    CHandle notify(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!notify.IsValid() ||
        RasConnectionNotificationA(INVALID_HANDLE_VALUE, notify.Get(),
                                   RASCN_Connection | RASCN_Disconnection) != 0) {
        notify.Reset();
        return PollConnections();
    }
    WatchConnections(notify.Get());
    RasConnectionNotificationA(INVALID_HANDLE_VALUE, notify.Get(), 0);
    return 0;
}

// Looks at once, as after a registration, then every interval until stopped.
UINT PollConnections() {
    do
        CheckConnections();
    while (::WaitForSingleObject(g_hStopEvent, kPollIntervalMs) == WAIT_TIMEOUT);
    return 0;
}
