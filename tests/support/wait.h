// Tests wait for conditions, never for a fixed time: a busy machine only makes them slower.
#pragma once

#include <windows.h>

#include <functional>

// Checks condition every pollMs milliseconds until it holds (TRUE) or timeoutMs has passed.
bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = 20000, DWORD pollMs = 10);
