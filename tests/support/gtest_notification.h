// GoogleTest's Notification is written on std::mutex, which the win32 thread model lacks;
// this one, on a Win32 event, takes its place (force-included before GoogleTest's headers).
#pragma once

#include <windows.h>

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : m_hEvent(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { ::CloseHandle(m_hEvent); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() { ::SetEvent(m_hEvent); }
    void WaitForNotification() { ::WaitForSingleObject(m_hEvent, INFINITE); }

private:
    HANDLE m_hEvent;
};

} // namespace internal
} // namespace testing
