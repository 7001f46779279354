// The monitor thread: a check whenever RAS reports a connection made or ended, or every
// 2000 ms where RAS cannot or will not report that.
#include "connection.h"

#include "app/message_box.h"
#include "app/resource.h"
#include "framework/handle.h"
#include "framework/thread.h"

HANDLE g_hStopEvent = nullptr;
HANDLE g_hRecheckEvent = nullptr;
CWorkerThread* g_pMonitorThread = nullptr;

namespace {
constexpr DWORD kPollIntervalMs = 2000;
// Windows 9x lists a connection from the start of its dial; that it signals before the
// address is there is inference.
constexpr DWORD kSettleDelayMs = 3000;

// Closes one of the module's events and forgets it.
void CloseEvent(HANDLE& hEvent) {
    ::CloseHandle(hEvent);
    hEvent = nullptr;
}

// Runs a check at each RAS signal. RAS signals a connection "created" (its page names no
// stage), nothing when its address arrives later (Windows 9x lists a connection from the start
// of its dial, and a slow link outlasts the settle delay). So while the address is pending, and
// after a check that ran out of memory, the check is tried again at the polling interval: the
// change is not lost until the next signal. The start-up check, which runs on the user-interface
// thread, hands such an answer over through g_hRecheckEvent. The stop event ends every wait.
void WaitForConnectionChanges(HANDLE hNotify) {
    // A notification pending together with the stop signal is taken first, a stop before a
    // request to look again.
    HANDLE waitList[3] = {hNotify, g_hStopEvent, g_hRecheckEvent};
    DWORD timeout = INFINITE;
    for (;;) {
        DWORD woken = ::WaitForMultipleObjects(3, waitList, FALSE, timeout);
        if (woken == WAIT_OBJECT_0 + 2) {
            timeout = kPollIntervalMs; // the start-up check has just looked itself
            continue;
        }
        if (woken != WAIT_OBJECT_0 && woken != WAIT_TIMEOUT)
            break;
        if (woken == WAIT_OBJECT_0 && IsWindows9x())
            ::Sleep(kSettleDelayMs);
        timeout = RunConnectionCheck() == CheckOutcome::Settled ? INFINITE : kPollIntervalMs;
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
    g_hRecheckEvent = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (g_hRecheckEvent == nullptr) {
        CloseEvent(g_hStopEvent);
        return FALSE;
    }

    g_pMonitorThread = CWorkerThread::Begin(MonitorThreadProc, nullptr, THREAD_PRIORITY_LOWEST, 0,
                                            CREATE_SUSPENDED);
    if (g_pMonitorThread == nullptr) {
        CloseEvent(g_hStopEvent);
        CloseEvent(g_hRecheckEvent);
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
    CloseEvent(g_hRecheckEvent);
    delete g_pMonitorThread;
    g_pMonitorThread = nullptr;
}

void RecheckUntilSettled() {
    if (g_hRecheckEvent != nullptr)
        ::SetEvent(g_hRecheckEvent);
}

UINT __cdecl MonitorThreadProc(void*) {
    if (RasConnectionNotificationA == nullptr)
        return PollConnections();

    CHandle notify(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!notify.IsValid())
        return static_cast<UINT>(-1);
    if (RasConnectionNotificationA(INVALID_HANDLE_VALUE, notify.Get(),
                                   RASCN_Connection | RASCN_Disconnection) != 0) {
        // Exported but refused (Wine's own RAS refuses every registration): without polling
        // no change would ever be seen while the button says that monitoring is on.
        notify.Reset();
        return PollConnections();
    }
    WaitForConnectionChanges(notify.Get());
    RasConnectionNotificationA(INVALID_HANDLE_VALUE, notify.Get(), 0);
    return 0;
}

UINT PollConnections() {
    while (::WaitForSingleObject(g_hStopEvent, kPollIntervalMs) == WAIT_TIMEOUT)
        CheckConnections();
    return 0;
}
