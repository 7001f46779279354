#include "measure.h"

#include "app/resource.h"
#include "event_text.h"

#include <psapi.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace bench {

namespace {

LONGLONG Frequency() {
    static LONGLONG frequency = [] {
        LARGE_INTEGER value;
        ::QueryPerformanceFrequency(&value);
        return value.QuadPart;
    }();
    return frequency;
}

double FileTimeMs(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<double>(value.QuadPart) / 10000.0;
}

} // namespace

LONGLONG Qpc() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now.QuadPart;
}

double QpcToMs(LONGLONG ticks) {
    return static_cast<double>(ticks) * 1000.0 / static_cast<double>(Frequency());
}

double Percentile(std::vector<double> samples, double percent) {
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    size_t rank = static_cast<size_t>(std::ceil(percent / 100.0 * samples.size()));
    return samples[rank == 0 ? 0 : rank - 1];
}

double ProcessCpuMs(HANDLE hProcess) {
    FILETIME created, exited, kernel, user;
    if (!::GetProcessTimes(hProcess, &created, &exited, &kernel, &user))
        return -1;
    return FileTimeMs(kernel) + FileTimeMs(user);
}

SIZE_T ProcessPrivateBytes(HANDLE hProcess) {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    if (!::GetProcessMemoryInfo(hProcess, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                                sizeof counters))
        return 0;
    // Windows reports the commit charge in both; Wine fills only the older field.
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

std::string Fixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

LRESULT ListCount(HWND hDialog) {
    return ::SendDlgItemMessageW(hDialog, IDC_EVENT_LIST, LB_GETCOUNT, 0, 0);
}

HWND WaitForStartedWindow(const CChildProcess& child, DWORD timeoutMs) {
    DWORD start = ::GetTickCount();
    for (;;) {
        HWND hWnd = FindDialogOfProcess(child.ProcessId(), true);
        if (hWnd != nullptr && ListCount(hWnd) > 0)
            return hWnd;
        if (::GetTickCount() - start > timeoutMs || child.WaitForExit(0))
            return nullptr;
        ::Sleep(1);
    }
}

double TimeStartup(const std::string& exe, const std::string& dir, const std::string& arguments) {
    CChildProcess child;
    LONGLONG start = Qpc();
    if (!child.Start(exe, dir, arguments))
        return -1;
    HWND hWnd = WaitForStartedWindow(child);
    LONGLONG shown = Qpc();
    if (hWnd == nullptr)
        return -1;
    // Closing a window under Xvfb takes 2 s (Wine waits for a window manager that is not
    // there); the figure is already taken, so the run ends at once.
    if (!child.Terminate(0))
        return -1;
    return QpcToMs(shown - start);
}

} // namespace bench
