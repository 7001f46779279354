// A minimal dialog program built like Linkvigil.exe, with a dialog of the same shape: the
// yardstick for start-up time, idle cost and the memory that list lines take.
//   /thread  also starts a worker that blocks on an event at the lowest priority, as the
//            program's monitor thread does between notifications.
#include "app/resource.h"
#include "bench/event_text.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr int kDialogId = 102;

INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        ::SendDlgItemMessageA(hWnd, IDC_EVENT_LIST, LB_ADDSTRING, 0,
                              reinterpret_cast<LPARAM>("Baseline ready"));
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            ::EndDialog(hWnd, 0);
            return TRUE;
        }
        break;
    case bench::kAddLinesMessage: {
        // Many lines at once are added unseen and painted once: only their memory counts.
        HWND hList = ::GetDlgItem(hWnd, IDC_EVENT_LIST);
        bool many = wParam > 1;
        if (many)
            ::SendMessageA(hList, WM_SETREDRAW, FALSE, 0);
        unsigned first = static_cast<unsigned>(lParam);
        for (unsigned i = first; i < first + static_cast<unsigned>(wParam); ++i)
            ::SendMessageA(hList, LB_ADDSTRING, 0,
                           reinterpret_cast<LPARAM>(bench::EventListLine(i).c_str()));
        if (many) {
            ::SendMessageA(hList, WM_SETREDRAW, TRUE, 0);
            ::InvalidateRect(hList, nullptr, TRUE);
        }
        return TRUE;
    }
    default:
        break;
    }
    return FALSE;
}

DWORD WINAPI BlockedWorker(void* event) {
    ::WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR commandLine, int) {
    if (commandLine != nullptr && std::strstr(commandLine, "/thread") != nullptr) {
        HANDLE never = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);
        DWORD id = 0;
        HANDLE worker = ::CreateThread(nullptr, 0, BlockedWorker, never, 0, &id);
        if (worker != nullptr)
            ::SetThreadPriority(worker, THREAD_PRIORITY_LOWEST);
    }
    return static_cast<int>(
        ::DialogBoxParamA(hInstance, MAKEINTRESOURCEA(kDialogId), nullptr, DialogProc, 0));
}
