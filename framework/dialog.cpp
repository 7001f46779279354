#include "dialog.h"

#include "framework/text.h"
#include "framework/thread.h"
#include "framework/wide_api.h"

#include <memory>
#include <new>
#include <type_traits>
#include <utility>

// Help topics of dialogs are numbered from this base plus the template id.
constexpr DWORD kHelpIdBaseResource = 0x20000;

CDialog::CDialog(UINT templateId, HWND hParent) : m_nTemplateId(templateId), m_hParent(hParent) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
    return ::DialogBoxParamA(::GetModuleHandleA(nullptr), MAKEINTRESOURCEA(m_nTemplateId),
                             m_hParent, &CDialog::DialogProc, reinterpret_cast<LPARAM>(this));
}

BOOL CDialog::OnInitDialog() {
    DoDataExchange();
    return TRUE;
}

BOOL CDialog::OnWndMsg(UINT, WPARAM, LPARAM, LRESULT&) {
    return FALSE;
}

void CDialog::OnHelp() {
    std::string helpFile = GetExecutableDirectory() + GetApplicationTitle() + ".HLP";
    if (!::WinHelpA(m_hWnd, helpFile.c_str(), HELP_CONTEXT, kHelpIdBaseResource + m_nTemplateId))
        ShowApplicationMessageBox(m_hWnd, "Failed to launch help.", MB_OK | MB_ICONEXCLAMATION);
}

HWND GetMessageBoxOwner(HWND fallback) {
    HWND mainWindow = GetThreadMainWindow();
    return mainWindow != nullptr ? ::GetLastActivePopup(mainWindow) : fallback;
}

namespace {

constexpr int kShortTextSize = 1024;

template <typename Char> int ShowTitledBox(HWND owner, const Char* text, UINT style) {
    using Params = typename std::conditional<std::is_same<Char, char>::value, MSGBOXPARAMSA,
                                             MSGBOXPARAMSW>::type;
    Char caption[MAX_PATH + 1];
    GetApplicationTitle(caption);
    Params params = {};
    params.cbSize = sizeof params;
    params.hwndOwner = owner;
    params.lpszText = text;
    params.lpszCaption = caption;
    params.dwStyle = style;
    params.dwContextHelpId = 0;
    return ShowMessageBoxIndirect(&params);
}

// text in wide characters: in buffer when it fits, else on the heap; null when the heap has
// no room for it either.
const wchar_t* WidenText(const char* text, wchar_t (&buffer)[kShortTextSize],
                         std::unique_ptr<wchar_t[]>& onHeap) {
    if (::MultiByteToWideChar(CP_ACP, 0, text, -1, buffer, kShortTextSize) > 0)
        return buffer;
    int length = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0)
        return nullptr;
    onHeap.reset(new (std::nothrow) wchar_t[static_cast<size_t>(length)]);
    if (onHeap == nullptr || ::MultiByteToWideChar(CP_ACP, 0, text, -1, onHeap.get(), length) <= 0)
        return nullptr;
    return onHeap.get();
}

} // namespace

int ShowApplicationMessageBox(HWND owner, const char* text, UINT style) {
    if (UseWidePaths()) {
        wchar_t buffer[kShortTextSize];
        std::unique_ptr<wchar_t[]> onHeap;
        if (const wchar_t* wide = WidenText(text, buffer, onHeap))
            return ShowTitledBox(owner, wide, style);
        // A long text without the memory to widen it: the ANSI box shows it whole, under the
        // title as the code page spells it.
    }
    return ShowTitledBox(owner, text, style);
}

void ReportOutOfMemory(HWND hWnd) {
    ShowApplicationMessageBox(GetMessageBoxOwner(hWnd), "Out of memory.",
                              MB_OK | MB_ICONEXCLAMATION);
}

namespace {

// Runs one handler of a dialog. No exception may unwind into the system's window code (the
// unwinder cannot cross it): a handler that runs out of memory ends there, the standard box
// says so, and the program goes on. Returns what the handler returned, or fallback.
template <typename Handler> INT_PTR Guarded(HWND hWnd, INT_PTR fallback, Handler handler) {
    try {
        return handler();
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory(hWnd);
    } catch (...) {
        // Nothing else is thrown by design; never let it through either.
    }
    return fallback;
}

} // namespace

INT_PTR CALLBACK CDialog::DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    CDialog* self = nullptr;
    if (message == WM_INITDIALOG) {
        self = reinterpret_cast<CDialog*>(lParam);
        ::SetWindowLongPtrA(hWnd, DWLP_USER, lParam);
        self->m_hWnd = hWnd;
        if (self->m_bMainWindow)
            SetThreadMainWindow(hWnd);
        return Guarded(hWnd, TRUE, [self] { return static_cast<INT_PTR>(self->OnInitDialog()); });
    }
    self = reinterpret_cast<CDialog*>(::GetWindowLongPtrA(hWnd, DWLP_USER));
    if (self == nullptr)
        return FALSE;

    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL && HIWORD(wParam) == BN_CLICKED) {
            self->OnCancel();
            return TRUE;
        }
        break;
    case WM_HELP:
        Guarded(hWnd, TRUE, [self] {
            self->OnHelp();
            return INT_PTR{TRUE};
        });
        return TRUE;
    case WM_NCDESTROY:
        if (self->m_bMainWindow && GetThreadMainWindow() == hWnd)
            SetThreadMainWindow(nullptr);
        self->m_hWnd = nullptr;
        ::SetWindowLongPtrA(hWnd, DWLP_USER, 0);
        return FALSE;
    default:
        break;
    }

    LRESULT result = 0;
    bool useDefault = false;
    bool* outer = std::exchange(self->m_pbDefault, &useDefault);
    // A handler that ran out of memory counts as handled: it ended, and nothing else runs.
    BOOL handled = static_cast<BOOL>(Guarded(hWnd, TRUE, [&] {
        return static_cast<INT_PTR>(self->OnWndMsg(message, wParam, lParam, result));
    }));
    self->m_pbDefault = outer;
    if (!handled || useDefault)
        return FALSE;
    // Messages whose result is the return value itself; for the rest it goes to DWLP_MSGRESULT.
    if (message == WM_QUERYDRAGICON || message == WM_CTLCOLORDLG || message == WM_CTLCOLORBTN ||
        message == WM_CTLCOLORLISTBOX)
        return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrA(hWnd, DWLP_MSGRESULT, result);
    return TRUE;
}
