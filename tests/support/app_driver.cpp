#include "app_driver.h"

#include "app/resource.h"
#include "handle_count.h"

#include <tlhelp32.h>

#include <algorithm>

bool CAppUnderTest::Start(const std::string& dir, const std::string& exeName,
                          const std::string& workingDir, const std::string& program) {
    m_dir = dir;
    std::string exe = dir + "\\" + exeName;
    const std::string source = program.empty() ? ProgramPath() : program;
    if (!::CopyFileA(source.c_str(), exe.c_str(), FALSE))
        return false;
    return m_process.Start(exe, workingDir.empty() ? dir : workingDir);
}

bool CAppUnderTest::Start(const std::wstring& dir, const std::wstring& exeName) {
    // Dir() and LogPath() are ANSI: the code page may spell this folder as another one.
    m_dir.clear();
    std::wstring exe = dir + L"\\" + exeName;
    if (!::CopyFileW(Widen(ProgramPath()).c_str(), exe.c_str(), FALSE))
        return false;
    return m_process.Start(exe, dir);
}

HWND CAppUnderTest::WaitForWindow(DWORD timeoutMs) {
    HWND found = nullptr;
    WaitFor(
        [&] {
            found = FindDialogOfProcess(m_process.ProcessId(), true);
            return found != nullptr;
        },
        timeoutMs);
    m_hWnd = found;
    return m_hWnd;
}

std::vector<std::string> CAppUnderTest::ListLines() const {
    HWND list = ::GetDlgItem(m_hWnd, IDC_EVENT_LIST);
    if (list == nullptr)
        return {};
    // The program adds lines while they are read, and a sorted list puts a new line anywhere:
    // the line at an index can change between asking its length and its text. LB_GETTEXT
    // takes no buffer size, so the buffer holds far more than any line of the program, and
    // the whole read is repeated until the count held still around it.
    constexpr size_t kRoom = 4096;
    std::vector<wchar_t> text(kRoom + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::vector<std::string> lines;
        LRESULT count = ::SendMessageW(list, LB_GETCOUNT, 0, 0);
        bool whole = true;
        for (LRESULT i = 0; i < count && whole; ++i) {
            LRESULT length = ::SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
            if (length < 0 || static_cast<size_t>(length) > kRoom) {
                whole = false;
                break;
            }
            std::fill(text.begin(), text.end(), L'\0');
            // Across processes only the wide form brings the whole line under Wine.
            ::SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i),
                           reinterpret_cast<LPARAM>(text.data()));
            lines.push_back(Narrow(std::wstring(text.data(), wcsnlen(text.data(), kRoom))));
        }
        if (whole && ::SendMessageW(list, LB_GETCOUNT, 0, 0) == count)
            return lines;
    }
    return {};
}

size_t CAppUnderTest::ListCount() const {
    LRESULT count = ::SendMessageW(::GetDlgItem(m_hWnd, IDC_EVENT_LIST), LB_GETCOUNT, 0, 0);
    return count > 0 ? static_cast<size_t>(count) : 0;
}

bool CAppUnderTest::WaitForList(const std::vector<std::string>& expected, DWORD timeoutMs) const {
    return WaitFor([&] { return ListLines() == expected; }, timeoutMs);
}

std::string CAppUnderTest::WindowText(HWND hWnd) {
    return Narrow(WideWindowText(hWnd));
}

std::wstring CAppUnderTest::WideWindowText(HWND hWnd) {
    int length = static_cast<int>(::SendMessageW(hWnd, WM_GETTEXTLENGTH, 0, 0));
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    ::SendMessageW(hWnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    text.resize(wcslen(text.c_str()));
    return text;
}

std::string CAppUnderTest::ButtonCaption() const {
    return WindowText(::GetDlgItem(m_hWnd, IDC_START_STOP));
}

bool CAppUnderTest::WaitForCaption(const std::string& caption, DWORD timeoutMs) const {
    return WaitFor([&] { return ButtonCaption() == caption; }, timeoutMs);
}

void CAppUnderTest::PressButton() {
    // Sent, so the press has been handled (and a stop has joined the thread) on return; a
    // program that hangs fails the test instead of holding it forever.
    DWORD_PTR ignored = 0;
    ::SendMessageTimeoutA(::GetDlgItem(m_hWnd, IDC_START_STOP), BM_CLICK, 0, 0, SMTO_NORMAL,
                          kPatienceMs, &ignored);
}

void CAppUnderTest::PressKey(UINT virtualKey) {
    // Keys reach the dialog through its message loop, as typed keys do.
    HWND list = ::GetDlgItem(m_hWnd, IDC_EVENT_LIST);
    ::PostMessageA(list, WM_KEYDOWN, virtualKey, 1);
    ::PostMessageA(list, WM_KEYUP, virtualKey, 0xC0000001);
}

void CAppUnderTest::TypeKey(UINT virtualKey) {
    ::SetForegroundWindow(m_hWnd);
    WaitFor([&] { return ::GetForegroundWindow() == m_hWnd; }, kPatienceMs);
    BYTE scan = static_cast<BYTE>(::MapVirtualKeyA(virtualKey, 0));
    ::keybd_event(static_cast<BYTE>(virtualKey), scan, 0, 0);
    ::keybd_event(static_cast<BYTE>(virtualKey), scan, KEYEVENTF_KEYUP, 0);
}

void CAppUnderTest::Close() {
    ::PostMessageA(m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0);
}

bool CAppUnderTest::WaitForExit(DWORD timeoutMs, DWORD* exitCode) {
    return m_process.WaitForExit(timeoutMs, exitCode);
}

void CAppUnderTest::Kill() {
    m_process.Terminate(9);
}

size_t CAppUnderTest::HandleCount() const {
    return ProcessHandleCount(m_process.ProcessId());
}

size_t CAppUnderTest::ThreadCount() const {
    HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    size_t count = 0;
    for (BOOL more = ::Thread32First(snapshot, &entry); more;
         more = ::Thread32Next(snapshot, &entry))
        count += entry.th32OwnerProcessID == m_process.ProcessId();
    ::CloseHandle(snapshot);
    return count;
}

HWND CAppUnderTest::FindMessageBox(bool notYetShown) const {
    return FindDialogOfProcess(m_process.ProcessId(), false, notYetShown);
}

std::string CAppUnderTest::MessageBoxText(HWND hBox) {
    // The message is the box's static control with id 0xFFFF.
    return WindowText(::GetDlgItem(hBox, 0xFFFF));
}

CHelpEngineHidden::CHelpEngineHidden() {
    char windows[MAX_PATH], system[MAX_PATH];
    ::GetWindowsDirectoryA(windows, MAX_PATH);
    ::GetSystemDirectoryA(system, MAX_PATH);
    for (std::string dir : {std::string(windows), std::string(system)}) {
        std::string engine = dir + "\\winhlp32.exe";
        if (::MoveFileA(engine.c_str(), (engine + ".hidden").c_str()))
            m_hidden.push_back(engine);
    }
}

CHelpEngineHidden::~CHelpEngineHidden() {
    for (const std::string& engine : m_hidden)
        ::MoveFileA((engine + ".hidden").c_str(), engine.c_str());
}
