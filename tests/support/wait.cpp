#include "wait.h"

#include <algorithm>

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs, DWORD pollMs) {
    DWORD start = ::GetTickCount();
    for (;;) {
        if (condition())
            return true;
        DWORD waited = ::GetTickCount() - start;
        if (waited > timeoutMs)
            return false;
        ::Sleep(std::max(pollMs, std::min(waited / 10, kSlowestPollMs)));
    }
}
