// Critical section wrapper. The win32 thread model offers no std::mutex, and a
// CRITICAL_SECTION works on every Windows this program supports.
#pragma once

#include <windows.h>

// Initialises cs so that entering it never needs memory, where the system offers that: on the
// NT family from Windows 2000 on, through InitializeCriticalSectionAndSpinCount with the high bit
// of the spin count set. Windows 2000 then makes the lock's wait event at once, not at the first
// contention (where it raises STATUS_NO_MEMORY from EnterCriticalSection when it cannot); XP and
// Server 2003 report a failure as FALSE, Vista and later always succeed. Whether 2000 returns
// FALSE or raises is not documented (docs/WINDOWS-AND-WINE.md has the sources). Returns TRUE
// then; FALSE when cs was initialised as InitializeCriticalSection does (Windows 9x, NT 4.0, or
// no memory for the event now).
// Wine's critical sections never allocate when entered: no test here can show the failure.
BOOL InitializeLockWithEvent(CRITICAL_SECTION& cs);

// The spin count asked for with the event. Only multiprocessors spin; the system's own heap
// locks spin about this long.
constexpr DWORD kLockSpinCount = 4000;

class CCriticalSection {
public:
    CCriticalSection() : m_bEventMade(InitializeLockWithEvent(m_cs)) {}
    ~CCriticalSection() { ::DeleteCriticalSection(&m_cs); }
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    void Lock() { ::EnterCriticalSection(&m_cs); }
    void Unlock() { ::LeaveCriticalSection(&m_cs); }

    // TRUE when entering can never fail for lack of memory (see InitializeLockWithEvent).
    BOOL EventMade() const { return m_bEventMade; }

private:
    CRITICAL_SECTION m_cs;
    BOOL m_bEventMade;
};

// Holds a critical section for the life of the scope.
class CLockGuard {
public:
    explicit CLockGuard(CCriticalSection& cs) : m_cs(cs) { m_cs.Lock(); }
    ~CLockGuard() { m_cs.Unlock(); }
    CLockGuard(const CLockGuard&) = delete;
    CLockGuard& operator=(const CLockGuard&) = delete;

private:
    CCriticalSection& m_cs;
};
