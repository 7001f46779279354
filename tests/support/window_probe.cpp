#include "window_probe.h"

#include "files.h"
#include "wait.h"

#include <cstring>

CWindowProbe::CWindowProbe(HWND hWnd) : m_hWnd(hWnd) {
    m_mapping = ::CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                     sizeof(WindowProbeAnswers), WINDOW_PROBE_MAPPING);
    if (m_mapping != nullptr)
        m_answers = static_cast<WindowProbeAnswers*>(
            ::MapViewOfFile(m_mapping, FILE_MAP_WRITE, 0, 0, sizeof(WindowProbeAnswers)));
    m_library = ::LoadLibraryA(WindowProbePath().c_str());
    typedef HHOOK(WINAPI * Install)(DWORD);
    auto install = reinterpret_cast<Install>(
        reinterpret_cast<void*>(::GetProcAddress(m_library, "WindowProbeInstall")));
    if (m_library != nullptr && install != nullptr)
        m_hook = install(::GetWindowThreadProcessId(hWnd, nullptr));
}

CWindowProbe::~CWindowProbe() {
    if (m_hook != nullptr)
        ::UnhookWindowsHookEx(m_hook);
    if (m_library != nullptr)
        ::FreeLibrary(m_library);
    if (m_answers != nullptr)
        ::UnmapViewOfFile(m_answers);
    if (m_mapping != nullptr)
        ::CloseHandle(m_mapping);
}

bool CWindowProbe::Ask(WindowProbeAnswers& answers, DWORD timeoutMs) {
    if (!Installed())
        return false;
    volatile LONG* answered = &m_answers->answered;
    ::InterlockedExchange(&m_answers->answered, 0);
    if (!::PostMessageA(m_hWnd, ::RegisterWindowMessageA(WINDOW_PROBE_MESSAGE), 0, 0) ||
        !WaitFor([&] { return *answered != 0; }, timeoutMs))
        return false;
    std::memcpy(&answers, m_answers, sizeof answers);
    return true;
}
