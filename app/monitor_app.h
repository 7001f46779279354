// The application object and its one window.
#pragma once

#include "framework/dialog.h"
#include "framework/winapp.h"

class CMonitorApp : public CWinApp {
public:
    CMonitorApp() = default;
    ~CMonitorApp() override = default;

    // Runs the main dialog modally and returns FALSE, so the process ends with it.
    BOOL InitInstance() override;
};

extern CMonitorApp theApp;

// The main window: a list box of events and a button that stops and restarts monitoring.
class CMonitorDlg : public CDialog {
public:
    explicit CMonitorDlg(HWND hParent = nullptr);
    ~CMonitorDlg() override = default;

    // Stops monitoring when it is on, starts it otherwise; the button names the next action.
    void ToggleMonitoring();

    BOOL m_bMonitoring;
    HICON m_hIcon; // a shared resource icon: never destroyed
    CListBox m_listEvents;
    CButton m_btnStartStop;

protected:
    void DoDataExchange() override;
    BOOL OnInitDialog() override;
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override;

    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnQueryDragIcon(WPARAM, LPARAM);
    LRESULT OnConnectionUp(WPARAM wParam, LPARAM lParam);
    LRESULT OnConnectionDown(WPARAM wParam, LPARAM lParam);
    LRESULT OnDestroy(WPARAM, LPARAM);
    LRESULT OnToggleMonitoring(WPARAM, LPARAM);
    LRESULT OnQueryEndSession(WPARAM, LPARAM);
    LRESULT OnEndSession(WPARAM wParam, LPARAM);

private:
    static const MessageEntry<CMonitorDlg> s_messageTable[8];
};
