// Keeps Wine's desktop open while the tests run. Wine ends its desktop process (explorer.exe)
// soon after the last program on the desktop ends, and starts it again for the next program
// that makes a window: about a second of the processor each time under emulation, for nearly
// every test. wine-run --server-start starts this in each prefix; the server's end ends it.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ::GetDesktopWindow(); // joins the desktop, starting Wine's desktop process
    ::Sleep(INFINITE);
    return 0;
}
