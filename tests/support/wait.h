// Tests wait for conditions, never for a fixed time: a busy machine only makes them slower.
#pragma once

#include <windows.h>

#include <functional>

// How long a test waits by default for what must happen: far beyond its normal time even on a
// loaded machine, so that only a real fault runs it out. Waiting ends as soon as it holds.
constexpr DWORD kPatienceMs = 60000;

// Checks condition every pollMs milliseconds until it holds (TRUE) or timeoutMs has passed.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = kPatienceMs,
             DWORD pollMs = 10);
