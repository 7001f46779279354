// Asks the program's window what only its own thread can ask. Wine does not carry
// WM_QUERYDRAGICON or WM_GETICON between processes, and a minimised window has no client area
// to look at, so a hook library (window_probe.dll) runs the questions inside the program: the
// test posts a message, the hook answers it on the program's GUI thread and leaves the answers
// in a shared mapping.
#pragma once

#include "wait.h"

#include <windows.h>

// Names shared by the library and the test.
#define WINDOW_PROBE_MAPPING "LinkvigilWindowProbe"
#define WINDOW_PROBE_MESSAGE "LinkvigilWindowProbe"

// What the program's window answered; icons as numbers, the same in both processes.
struct WindowProbeAnswers {
    LONG64 resourceIcon; // LoadIcon of the program's icon resource (a shared handle)
    LONG64 dragIcon;     // WM_QUERYDRAGICON
    LONG64 bigIcon;      // WM_GETICON, ICON_BIG
    LONG64 smallIcon;    // WM_GETICON, ICON_SMALL
    LONG iconic;         // IsIconic when the paint was asked for
    LONG clientWidth;    // the client area then
    LONG clientHeight;
    LONG iconWidth; // SM_CXICON and SM_CYICON as the program sees them
    LONG iconHeight;
    LONG iconBackgroundErases; // WM_ICONERASEBKGND sent while painting
    LONG iconsDrawn;           // DrawIcon calls while painting
    LONG drawnX;               // the last one's position and icon
    LONG drawnY;
    LONG64 drawnIcon;
    LONG answered; // set last: the answers above are complete
};

// In the test: the probe hooked into the thread that owns a window of another process.
class CWindowProbe {
public:
    explicit CWindowProbe(HWND hWnd);
    ~CWindowProbe();
    CWindowProbe(const CWindowProbe&) = delete;
    CWindowProbe& operator=(const CWindowProbe&) = delete;

    bool Installed() const { return m_hook != nullptr && m_answers != nullptr; }
    // Asks the window once (a paint request included); FALSE when no answer came in time.
    bool Ask(WindowProbeAnswers& answers, DWORD timeoutMs = kPatienceMs);

private:
    HWND m_hWnd;
    HMODULE m_library = nullptr;
    HHOOK m_hook = nullptr;
    HANDLE m_mapping = nullptr;
    WindowProbeAnswers* m_answers = nullptr;
};
