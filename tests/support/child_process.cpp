#include "child_process.h"

#include "app/resource.h"
#include "wait.h"

namespace {

struct FindContext {
    DWORD processId;
    bool main;
    bool notYetShown;
    HWND found;
};

BOOL CALLBACK CheckWindow(HWND hWnd, LPARAM param) {
    FindContext* context = reinterpret_cast<FindContext*>(param);
    DWORD processId = 0;
    ::GetWindowThreadProcessId(hWnd, &processId);
    char className[32] = {};
    ::GetClassNameA(hWnd, className, sizeof className);
    if (processId != context->processId || std::string(className) != "#32770" ||
        !(context->notYetShown || ::IsWindowVisible(hWnd)))
        return TRUE;
    bool isMain = ::GetDlgItem(hWnd, IDC_EVENT_LIST) != nullptr;
    if (isMain != context->main)
        return TRUE;
    context->found = hWnd;
    return FALSE;
}

} // namespace

CChildProcess::~CChildProcess() {
    Release();
}

void CChildProcess::Release() {
    if (m_info.hProcess == nullptr)
        return;
    if (::WaitForSingleObject(m_info.hProcess, 0) == WAIT_TIMEOUT)
        Terminate(99);
    ::CloseHandle(m_info.hProcess);
    ::CloseHandle(m_info.hThread);
    m_info = {};
}

bool CChildProcess::Start(const std::string& exe, const std::string& dir,
                          const std::string& arguments) {
    Release();
    std::string commandLine = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    return ::CreateProcessA(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                            dir.c_str(), &startup, &m_info) != FALSE;
}

bool CChildProcess::Start(const std::wstring& exe, const std::wstring& dir) {
    Release();
    std::wstring commandLine = L"\"" + exe + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    return ::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr,
                            dir.c_str(), &startup, &m_info) != FALSE;
}

bool CChildProcess::WaitForExit(DWORD timeoutMs, DWORD* exitCode) const {
    if (::WaitForSingleObject(m_info.hProcess, timeoutMs) != WAIT_OBJECT_0)
        return false;
    if (exitCode != nullptr)
        ::GetExitCodeProcess(m_info.hProcess, exitCode);
    return true;
}

bool CChildProcess::Terminate(UINT exitCode) {
    ::TerminateProcess(m_info.hProcess, exitCode);
    return ::WaitForSingleObject(m_info.hProcess, kPatienceMs) == WAIT_OBJECT_0;
}

HWND FindDialogOfProcess(DWORD processId, bool main, bool notYetShown) {
    FindContext context{processId, main, notYetShown, nullptr};
    ::EnumWindows(CheckWindow, reinterpret_cast<LPARAM>(&context));
    return context.found;
}
