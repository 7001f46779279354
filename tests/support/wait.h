// Tests wait for conditions, never for a fixed time: a busy machine only makes them slower.
#pragma once

#include <windows.h>

#include <functional>

// How long a test waits for what must happen, the one limit of every wait in the tests (for a
// condition, a thread, a process, a reply): far beyond its normal time even under emulation on
// a loaded machine, so that only a real fault runs it out. Waiting ends as soon as it holds.
constexpr DWORD kPatienceMs = 60000;

// Checks condition until it holds (TRUE) or timeoutMs has passed: every pollMs milliseconds at
// first, and as the wait grows longer, less often (a tenth of the time waited so far, at most
// kSlowestPollMs), so that a condition is seen at most that much later than it came to hold.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = kPatienceMs,
             DWORD pollMs = 10);
// Each check of another process's window costs it and the system some processor time, far
// more under emulation: a long wait checks this rarely.
constexpr DWORD kSlowestPollMs = 100;
