// Keeps Wine's desktop open while the tests run. Wine ends its desktop process (explorer.exe)
// soon after the last program on the desktop ends, and starts it again for the next program
// that makes a window: about a second of the processor each time under emulation, for nearly
// every test.
//
// wine-run --server-start runs this in each prefix, its output detached, and waits for it: it
// returns once a copy of itself holds the desktop, which the copy's joining started. The
// desktop process inherits the standard handles of the program that starts it and outlives
// that program; started by a test's own program, it would hold the test's output open, and
// CTest would wait for it until the test's time-out. The server's end ends the copy.
#include <windows.h>

#include <cstring>

namespace {

const char kHeldEvent[] = "LinkvigilTestsDesktopHeld";
const char kHoldArgument[] = "--hold";
// tests/support/wait.h's kPatienceMs (this program links nothing of the tests').
const DWORD kPatienceMs = 60000;

int Hold() {
    ::GetDesktopWindow(); // joins the desktop, starting Wine's desktop process and waiting for it
    HANDLE held = ::OpenEventA(EVENT_MODIFY_STATE, FALSE, kHeldEvent);
    if (held == nullptr)
        return 1;
    ::SetEvent(held);
    ::CloseHandle(held);
    ::Sleep(INFINITE);
    return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    if (std::strcmp(commandLine, kHoldArgument) == 0)
        return Hold();

    HANDLE held = ::CreateEventA(nullptr, TRUE, FALSE, kHeldEvent);
    char path[MAX_PATH];
    DWORD length = ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (held == nullptr || length == 0 || length >= MAX_PATH)
        return 2;
    char commandLineOfCopy[MAX_PATH + 16];
    ::wsprintfA(commandLineOfCopy, "\"%s\" %s", path, kHoldArgument);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION copy = {};
    if (!::CreateProcessA(path, commandLineOfCopy, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &copy))
        return 3;
    ::CloseHandle(copy.hThread);
    // Held, or the copy ended without holding it.
    HANDLE either[] = {held, copy.hProcess};
    DWORD result = ::WaitForMultipleObjects(2, either, FALSE, kPatienceMs);
    ::CloseHandle(copy.hProcess);
    ::CloseHandle(held);
    return result == WAIT_OBJECT_0 ? 0 : 4;
}
