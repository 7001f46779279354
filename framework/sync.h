// Critical section wrapper. The win32 thread model offers no std::mutex, and a
// CRITICAL_SECTION works on every Windows this program supports.
#pragma once

#include <windows.h>

class CCriticalSection {
public:
    CCriticalSection() { ::InitializeCriticalSection(&m_cs); }
    ~CCriticalSection() { ::DeleteCriticalSection(&m_cs); }
    CCriticalSection(const CCriticalSection&) = delete;
    CCriticalSection& operator=(const CCriticalSection&) = delete;

    void Lock() { ::EnterCriticalSection(&m_cs); }
    void Unlock() { ::LeaveCriticalSection(&m_cs); }

private:
    CRITICAL_SECTION m_cs;
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
