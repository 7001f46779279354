// The dialog layer's dispatch: a handler's "default handling" belongs to its own message even
// when another is dispatched inside it, and a handler that runs out of memory ends with the
// standard box while the dialog goes on.
#include "framework/dialog.h"

#include "files.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <new>
#include <string>

namespace {

constexpr UINT kTestDialogId = 900;
constexpr UINT kOuter = WM_APP + 10;
constexpr UINT kInner = WM_APP + 11;
constexpr UINT kThrows = WM_APP + 12;
constexpr UINT kPlain = WM_APP + 13;

class CTestDialog : public CDialog {
public:
    CTestDialog() : CDialog(kTestDialogId, nullptr) {}

    // Runs inside OnInitDialog, with the window in place; the dialog then ends.
    std::function<void(HWND)> scenario;
    // What the message dispatched inside the caption handler returned.
    LRESULT nestedResult = -1;

protected:
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        scenario(m_hWnd);
        ::EndDialog(m_hWnd, IDOK);
        return TRUE;
    }
    BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT& result) override {
        return DispatchMessageTable(this, s_messageTable, message, wParam, lParam, result);
    }

private:
    // Handled here, with a message dispatched in between that asks for default handling.
    LRESULT OnOuter(WPARAM, LPARAM) {
        ::SendMessageA(m_hWnd, kInner, 0, 0);
        return 42;
    }
    LRESULT OnInner(WPARAM, LPARAM) {
        Default();
        return 7;
    }
    LRESULT OnThrows(WPARAM, LPARAM) { throw std::bad_alloc(); }
    LRESULT OnPlain(WPARAM, LPARAM) { return 5; }
    // Handled here first, with another message dispatched meanwhile; then the platform's
    // default handling, which stores the caption, must run for it.
    LRESULT OnSetText(WPARAM, LPARAM) {
        nestedResult = ::SendMessageA(m_hWnd, kPlain, 0, 0);
        Default();
        return 0;
    }

    static const MessageEntry<CTestDialog> s_messageTable[5];
};

const MessageEntry<CTestDialog> CTestDialog::s_messageTable[5] = {
    {kOuter, 0, 0, &CTestDialog::OnOuter},       {kInner, 0, 0, &CTestDialog::OnInner},
    {kThrows, 0, 0, &CTestDialog::OnThrows},     {kPlain, 0, 0, &CTestDialog::OnPlain},
    {WM_SETTEXT, 0, 0, &CTestDialog::OnSetText},
};

struct BoxSeen {
    std::string caption;
    std::string text;
    bool found = false;
};

// The whole text, however long.
std::wstring WindowTextOf(HWND hWnd) {
    int length = ::GetWindowTextLengthW(hWnd);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    ::GetWindowTextW(hWnd, &text[0], static_cast<int>(text.size()));
    text.resize(wcslen(text.c_str()));
    return text;
}

BOOL CALLBACK FindBox(HWND hWnd, LPARAM param) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hWnd, &pid);
    char className[32] = {};
    ::GetClassNameA(hWnd, className, sizeof className);
    if (pid != ::GetCurrentProcessId() || std::string(className) != "#32770" ||
        !::IsWindowVisible(hWnd))
        return TRUE;
    std::string text = Narrow(WindowTextOf(::GetDlgItem(hWnd, 0xFFFF)));
    if (text.empty())
        return TRUE; // the dialog under test
    BoxSeen* seen = reinterpret_cast<BoxSeen*>(param);
    seen->caption = Narrow(WindowTextOf(hWnd));
    seen->text = text;
    seen->found = true;
    ::PostMessageA(hWnd, WM_COMMAND, IDOK, 0);
    return FALSE;
}

// Closes the first message box of this process and tells what it said.
DWORD WINAPI CloseBox(void* param) {
    BoxSeen* seen = static_cast<BoxSeen*>(param);
    for (int i = 0; i < 2000 && !seen->found; ++i) {
        ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(seen));
        ::Sleep(10);
    }
    return 0;
}

} // namespace

TEST(DialogTest, DefaultHandlingBelongsToTheMessageThatAskedForIt) {
    LRESULT outer = -1, inner = -1;
    CTestDialog dialog;
    dialog.scenario = [&](HWND hWnd) {
        outer = ::SendMessageA(hWnd, kOuter, 0, 0);
        inner = ::SendMessageA(hWnd, kInner, 0, 0);
    };
    ASSERT_EQ(IDOK, dialog.DoModal());
    EXPECT_EQ(42, outer) << "the inner message's default handling leaked into the outer one";
    EXPECT_EQ(0, inner) << "a handler that asks for default handling gets it";
}

TEST(DialogTest, DefaultHandlingAskedForAfterANestedMessageRuns) {
    BOOL set = FALSE;
    char caption[64] = {};
    CTestDialog dialog;
    dialog.scenario = [&](HWND hWnd) {
        set = ::SetWindowTextA(hWnd, "Renamed");
        ::GetWindowTextA(hWnd, caption, sizeof caption);
    };
    ASSERT_EQ(IDOK, dialog.DoModal());
    EXPECT_EQ(5, dialog.nestedResult) << "the nested message was handled by its own handler";
    EXPECT_STREQ("Renamed", caption) << "the default handling of WM_SETTEXT did not run";
    EXPECT_TRUE(set);
}

TEST(DialogTest, HandlerOutOfMemoryShowsTheStandardBoxAndTheDialogGoesOn) {
    BoxSeen seen;
    LRESULT afterwards = -1;
    CTestDialog dialog;
    dialog.scenario = [&](HWND hWnd) {
        HANDLE closer = ::CreateThread(nullptr, 0, CloseBox, &seen, 0, nullptr);
        ::SendMessageA(hWnd, kThrows, 0, 0); // returns once the box is closed
        ::WaitForSingleObject(closer, INFINITE);
        ::CloseHandle(closer);
        afterwards = ::SendMessageA(hWnd, kOuter, 0, 0);
    };
    ASSERT_EQ(IDOK, dialog.DoModal());
    ASSERT_TRUE(seen.found) << "no box";
    EXPECT_EQ("Out of memory.", seen.text);
    EXPECT_EQ("unit_tests", seen.caption) << "the application's title";
    EXPECT_EQ(42, afterwards) << "the dialog handles messages as before";
}

// Beyond the stack buffer the text is widened on the heap (on the NT family, as under Wine)
// and shown whole, captioned with the application's title.
TEST(DialogTest, ApplicationMessageBoxShowsALongTextWhole) {
    std::string text;
    for (int i = 0; text.size() < 3000; ++i)
        text += "line " + std::to_string(i) + " ";
    BoxSeen seen;
    HANDLE closer = ::CreateThread(nullptr, 0, CloseBox, &seen, 0, nullptr);
    int pressed = ShowApplicationMessageBox(nullptr, text.c_str(), MB_OK | MB_ICONEXCLAMATION);
    ::WaitForSingleObject(closer, INFINITE);
    ::CloseHandle(closer);
    ASSERT_TRUE(seen.found) << "no box";
    EXPECT_EQ(IDOK, pressed);
    EXPECT_EQ(text, seen.text);
    EXPECT_EQ("unit_tests", seen.caption);
}
