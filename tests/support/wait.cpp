#include "wait.h"

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs) {
    DWORD start = ::GetTickCount();
    for (;;) {
        if (condition())
            return true;
        if (::GetTickCount() - start > timeoutMs)
            return false;
        ::Sleep(pollMs);
    }
}
