#include "winapp.h"

int CWinApp::Run() {
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    InitInstance();
    return 0;
}
