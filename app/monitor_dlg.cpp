#include "monitor_app.h"

#include "aol_probe.h"
#include "connection/connection.h"
#include "framework/text.h"
#include "framework/wide_api.h"
#include "log/log_file.h"
#include "resource.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

const char kLogFileName[] = "LogFile.txt";

// "LogFile.txt" in the executable's directory, built in a MAX_PATH buffer. FALSE when the
// executable's path cannot be had whole or the name does not fit: the program then runs
// without a log.
template <typename Char> BOOL BuildLogPath(Char (&path)[MAX_PATH]) {
    Char executable[MAX_PATH + 1];
    if (!GetExecutablePath(executable))
        return FALSE;
    size_t directoryLength = static_cast<size_t>(FileNamePart(executable) - executable);
    if (directoryLength == 0 || directoryLength + sizeof kLogFileName > MAX_PATH)
        return FALSE;
    std::memcpy(path, executable, directoryLength * sizeof(Char));
    std::copy(std::begin(kLogFileName), std::end(kLogFileName), path + directoryLength);
    return TRUE;
}

template <typename Char> void SetLogPathBesideExecutable() {
    Char path[MAX_PATH];
    if (BuildLogPath(path))
        g_logFile.SetPathAndOpen(path);
}

} // namespace

const MessageEntry<CMonitorDlg> CMonitorDlg::s_messageTable[8] = {
    {WM_PAINT, 0, 0, &CMonitorDlg::OnPaint},
    {WM_QUERYDRAGICON, 0, 0, &CMonitorDlg::OnQueryDragIcon},
    {WM_CONNECTION_UP, 0, 0, &CMonitorDlg::OnConnectionUp},
    {WM_CONNECTION_DOWN, 0, 0, &CMonitorDlg::OnConnectionDown},
    {WM_DESTROY, 0, 0, &CMonitorDlg::OnDestroy},
    {WM_QUERYENDSESSION, 0, 0, &CMonitorDlg::OnQueryEndSession},
    {WM_ENDSESSION, 0, 0, &CMonitorDlg::OnEndSession},
    {WM_COMMAND, BN_CLICKED, IDC_START_STOP, &CMonitorDlg::OnToggleMonitoring},
};

CMonitorDlg::CMonitorDlg(HWND hParent)
    : CDialog(IDD_MAIN, hParent), m_bMonitoring(FALSE),
      m_hIcon(::LoadIconA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

BOOL CMonitorDlg::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) {
    return DispatchMessageTable(this, s_messageTable, message, wParam, lParam, result);
}

void CMonitorDlg::DoDataExchange() {
    BindControl(IDC_EVENT_LIST, m_listEvents);
    BindControl(IDC_START_STOP, m_btnStartStop);
}

BOOL CMonitorDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    ::SendMessageA(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageA(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));

    // The NT family names the executable's folder in full; the 9x family stores names in the
    // ANSI code page, which then spells every folder there is.
    if (UseWidePaths())
        SetLogPathBesideExecutable<wchar_t>();
    else
        SetLogPathBesideExecutable<char>();
    g_logFile.m_bEnabled = TRUE;

    const char* text = IsAolInstalled()
                           ? "AOL *is* installed on this system"
                           : "AOL is *not* installed on this system (aol.exe not found)";
    m_listEvents.ResetContent();
    m_listEvents.AddString(text);
    g_logFile.Write("%s\n", text);

    ToggleMonitoring();
    // The monitor thread looks once itself, after registering for RAS's signals, so that a
    // connection made meanwhile is neither missed nor reported twice. Without it, look here.
    if (!m_bMonitoring)
        CheckConnections();
    return TRUE;
}

void CMonitorDlg::ToggleMonitoring() {
    if (m_bMonitoring) {
        StopMonitoring();
        m_bMonitoring = FALSE;
    } else {
        m_bMonitoring = StartMonitoring();
    }
    // Into a buffer of its own: the caption must follow the state even when memory is short.
    char caption[64];
    LoadResourceString(IDS_START_MONITORING + (m_bMonitoring ? 1 : 0), caption, sizeof caption);
    m_btnStartStop.SetWindowText(caption);
}

LRESULT CMonitorDlg::OnToggleMonitoring(WPARAM, LPARAM) {
    ToggleMonitoring();
    return 0;
}

LRESULT CMonitorDlg::OnConnectionUp(WPARAM, LPARAM) {
    g_connection.SetConnected();
    std::string line =
        Format("Connection detected: IP address=%s", g_connection.GetIPAddress().c_str());
    m_listEvents.AddString(line.c_str());
    return 0;
}

LRESULT CMonitorDlg::OnConnectionDown(WPARAM, LPARAM) {
    g_connection.SetDisconnected();
    m_listEvents.AddString("Disconnection detected");
    return 0;
}

LRESULT CMonitorDlg::OnDestroy(WPARAM, LPARAM) {
    StopMonitoring();
    g_logFile.Close();
    Default();
    return 0;
}

// A logoff or shutdown never waits for this program.
LRESULT CMonitorDlg::OnQueryEndSession(WPARAM, LPARAM) {
    return TRUE;
}

// Windows ends the process once this returns, without destroying the window ("need not call
// DestroyWindow", says the message's page): what closing the window does happens here, before
// returning. The dialog is ended too, so that where the process is left to run (as under a
// test that sends these messages itself) it ends as when closed. A session that goes on
// (wParam FALSE) changes nothing.
LRESULT CMonitorDlg::OnEndSession(WPARAM wParam, LPARAM) {
    if (wParam) {
        StopMonitoring();
        g_logFile.Close();
        OnCancel();
    }
    return 0;
}

LRESULT CMonitorDlg::OnPaint(WPARAM, LPARAM) {
    if (!::IsIconic(m_hWnd)) {
        Default();
        return 0;
    }
    PAINTSTRUCT ps;
    HDC hdc = ::BeginPaint(m_hWnd, &ps);
    ::SendMessageA(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0);
    int cxIcon = ::GetSystemMetrics(SM_CXICON);
    int cyIcon = ::GetSystemMetrics(SM_CYICON);
    RECT rect;
    ::GetClientRect(m_hWnd, &rect);
    int x = (rect.right - rect.left - cxIcon + 1) / 2;
    int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    ::DrawIcon(hdc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &ps);
    return 0;
}

LRESULT CMonitorDlg::OnQueryDragIcon(WPARAM, LPARAM) {
    return reinterpret_cast<LRESULT>(m_hIcon);
}
