#include "winapp.h"

#include "exception_state.h"

int CWinApp::Run() {
    CThreadExceptionState exceptionState;
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    InitInstance();
    return 0;
}
