#include "monitor_app.h"

#include <commctrl.h>

BOOL CMonitorApp::InitInstance() {
    ::InitCommonControls();
    CWinApp::InitInstance();

    CMonitorDlg dlg(nullptr);
    dlg.MakeMainWindow();
    dlg.DoModal();
    return FALSE;
}
