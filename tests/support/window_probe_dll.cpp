// The hook library behind CWindowProbe (window_probe.h). Loaded into the program's process by
// the system when the test hooks the program's GUI thread; it answers the probe message there.
#include "window_probe.h"

#include <cstring>

namespace {

HMODULE g_module = nullptr;
UINT g_probeMessage = 0;

// Recorded while the probe's paint request runs, on the program's GUI thread only.
WindowProbeAnswers* g_recording = nullptr;
BOOL(WINAPI* g_realDrawIcon)(HDC, int, int, HICON) = nullptr;

BOOL WINAPI RecordDrawIcon(HDC hdc, int x, int y, HICON icon) {
    if (g_recording != nullptr) {
        ++g_recording->iconsDrawn;
        g_recording->drawnX = x;
        g_recording->drawnY = y;
        g_recording->drawnIcon = reinterpret_cast<LONG_PTR>(icon);
    }
    return g_realDrawIcon(hdc, x, y, icon);
}

LRESULT CALLBACK CountIconErases(int code, WPARAM wParam, LPARAM lParam) {
    const CWPSTRUCT* sent = reinterpret_cast<const CWPSTRUCT*>(lParam);
    if (code == HC_ACTION && g_recording != nullptr && sent->message == WM_ICONERASEBKGND)
        ++g_recording->iconBackgroundErases;
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

// The main module's import slot for user32's DrawIcon, where the program's calls go through.
void** FindDrawIconSlot() {
    BYTE* base = reinterpret_cast<BYTE*>(::GetModuleHandleA(nullptr));
    FARPROC drawIcon = ::GetProcAddress(::GetModuleHandleA("user32.dll"), "DrawIcon");
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0 || drawIcon == nullptr)
        return nullptr;
    for (auto* imports = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         imports->Name != 0; ++imports) {
        for (auto* slot = reinterpret_cast<void**>(base + imports->FirstThunk); *slot != nullptr;
             ++slot) {
            if (*slot == reinterpret_cast<void*>(drawIcon))
                return slot;
        }
    }
    return nullptr;
}

bool ReplaceSlot(void** slot, void* value) {
    DWORD oldProtect = 0;
    if (!::VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &oldProtect))
        return false;
    *slot = value;
    ::VirtualProtect(slot, sizeof *slot, oldProtect, &oldProtect);
    return true;
}

// A paint request as the system makes one, with DrawIcon and WM_ICONERASEBKGND recorded.
void RecordPaint(HWND hWnd, WindowProbeAnswers& answers) {
    answers.iconic = ::IsIconic(hWnd);
    RECT client = {};
    ::GetClientRect(hWnd, &client);
    answers.clientWidth = client.right - client.left;
    answers.clientHeight = client.bottom - client.top;
    answers.iconWidth = ::GetSystemMetrics(SM_CXICON);
    answers.iconHeight = ::GetSystemMetrics(SM_CYICON);

    void** slot = FindDrawIconSlot();
    if (slot != nullptr) {
        g_realDrawIcon = reinterpret_cast<decltype(g_realDrawIcon)>(*slot);
        ReplaceSlot(slot, reinterpret_cast<void*>(&RecordDrawIcon));
    }
    HHOOK sends =
        ::SetWindowsHookExA(WH_CALLWNDPROC, CountIconErases, nullptr, ::GetCurrentThreadId());
    g_recording = &answers;
    ::SendMessageA(hWnd, WM_PAINT, 0, 0);
    g_recording = nullptr;
    if (sends != nullptr)
        ::UnhookWindowsHookEx(sends);
    if (slot != nullptr)
        ReplaceSlot(slot, reinterpret_cast<void*>(g_realDrawIcon));
}

void Answer(HWND hWnd) {
    HANDLE mapping = ::OpenFileMappingA(FILE_MAP_WRITE, FALSE, WINDOW_PROBE_MAPPING);
    if (mapping == nullptr)
        return;
    auto* shared = static_cast<WindowProbeAnswers*>(
        ::MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, sizeof(WindowProbeAnswers)));
    if (shared != nullptr) {
        WindowProbeAnswers answers = {};
        answers.resourceIcon = reinterpret_cast<LONG_PTR>(
            ::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(100)));
        answers.dragIcon = ::SendMessageA(hWnd, WM_QUERYDRAGICON, 0, 0);
        answers.bigIcon = ::SendMessageA(hWnd, WM_GETICON, ICON_BIG, 0);
        answers.smallIcon = ::SendMessageA(hWnd, WM_GETICON, ICON_SMALL, 0);
        RecordPaint(hWnd, answers);
        std::memcpy(shared, &answers, sizeof answers);
        ::InterlockedExchange(&shared->answered, 1); // after the rest, for the waiting test
        ::UnmapViewOfFile(shared);
    }
    ::CloseHandle(mapping);
}

LRESULT CALLBACK OnGetMessage(int code, WPARAM removal, LPARAM lParam) {
    MSG* msg = reinterpret_cast<MSG*>(lParam);
    if (code == HC_ACTION && removal == PM_REMOVE && msg->message == g_probeMessage) {
        Answer(msg->hwnd);
        msg->message = WM_NULL; // the program never sees the probe's own message
    }
    return ::CallNextHookEx(nullptr, code, removal, lParam);
}

} // namespace

extern "C" __declspec(dllexport) HHOOK WINAPI WindowProbeInstall(DWORD threadId) {
    return ::SetWindowsHookExA(WH_GETMESSAGE, OnGetMessage, g_module, threadId);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        g_probeMessage = ::RegisterWindowMessageA(WINDOW_PROBE_MESSAGE);
    }
    return TRUE;
}
