// A modal dialog on the platform's dialog functions, with control wrappers and per-class
// message tables: the part of a classic application framework the main window needs.
#pragma once

#include <windows.h>

// A control of a dialog, bound by id when the dialog initialises.
class CControl {
public:
    HWND m_hWnd = nullptr;
    void SetWindowText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
};

class CListBox : public CControl {
public:
    // The index of the new line, or LB_ERR / LB_ERRSPACE when the list refuses it.
    int AddString(const char* text) {
        return static_cast<int>(
            ::SendMessageA(m_hWnd, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    }
    void ResetContent() { ::SendMessageA(m_hWnd, LB_RESETCONTENT, 0, 0); }
};

class CButton : public CControl {};

class CDialog;

// One entry of a dialog class's message table. A command entry names the message
// WM_COMMAND, the notification code and the control id; other entries match the message.
template <typename T> struct MessageEntry {
    UINT message;
    UINT code;
    UINT id;
    LRESULT (T::*handler)(WPARAM, LPARAM);
};

class CDialog {
public:
    CDialog(UINT templateId, HWND hParent);
    virtual ~CDialog();
    CDialog(const CDialog&) = delete;
    CDialog& operator=(const CDialog&) = delete;

    // Creates the dialog from its template in the executable and runs it until it ends.
    // Returns the value given to EndDialog, or -1 when the dialog could not be created.
    INT_PTR DoModal();
    // While its window exists, this dialog is the main window of the thread that runs it.
    void MakeMainWindow() { m_bMainWindow = true; }

    HWND m_hWnd = nullptr;

protected:
    // Binds controls to members; called by the base OnInitDialog.
    virtual void DoDataExchange() {}
    virtual BOOL OnInitDialog();
    // Looks the message up in the class's table; TRUE when a handler took it.
    virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result);
    // Ends the dialog at once: Escape, Alt+F4, the close box, Close on the system menu.
    virtual void OnCancel() { ::EndDialog(m_hWnd, IDCANCEL); }
    // F1: the help engine's topic of this dialog in the help file named after the executable.
    virtual void OnHelp();

    // Called by a handler to let the platform's default handling run after it. It applies to
    // the message being handled, even when another message is dispatched meanwhile.
    void Default() {
        if (m_pbDefault != nullptr)
            *m_pbDefault = true;
    }
    void BindControl(int id, CControl& control) { control.m_hWnd = ::GetDlgItem(m_hWnd, id); }

    template <typename T, size_t N>
    BOOL DispatchMessageTable(T* self, const MessageEntry<T> (&table)[N], UINT message,
                              WPARAM wParam, LPARAM lParam, LRESULT& result) {
        for (const MessageEntry<T>& entry : table) {
            if (entry.message != message)
                continue;
            if (message == WM_COMMAND &&
                (HIWORD(wParam) != entry.code || LOWORD(wParam) != entry.id))
                continue;
            result = (self->*entry.handler)(wParam, lParam);
            return TRUE;
        }
        return FALSE;
    }

private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

    UINT m_nTemplateId;
    HWND m_hParent;
    bool m_bMainWindow = false;
    // The "default handling" flag of the innermost message being handled, on DialogProc's stack.
    bool* m_pbDefault = nullptr;
};

// The owner of the program's message boxes: the last active pop-up of the calling thread's
// main window (the main window itself when nothing else is open), or fallback without one.
// The owner is disabled while a box is shown.
HWND GetMessageBoxOwner(HWND fallback);

// Shows text (ANSI) in a message box captioned with the application's title and returns the
// button pressed, or 0 when no box could be shown. On the NT family the title comes from the
// executable's wide path, so a name that the code page cannot spell is shown as it is; on the
// 9x family from its ANSI path. A text of up to 1024 characters needs no heap.
int ShowApplicationMessageBox(HWND owner, const char* text, UINT style);

// The framework's standard report of a handler that ran out of memory: "Out of memory." in
// an OK box with the exclamation icon, captioned with the application's title, owned as
// every box of the program (hWnd without a main window). Allocates nothing, so it works when
// memory is short.
void ReportOutOfMemory(HWND hWnd);
