// Drives the real Linkvigil.exe from another process: starts it in a directory of the test's
// own, reads its list box and button, presses the button, closes the window, reads the log.
#pragma once

#include "child_process.h"
#include "files.h"
#include "log_text.h"
#include "wait.h"

#include <windows.h>

#include <string>
#include <vector>

class CAppUnderTest {
public:
    CAppUnderTest() = default; // the process is ended if it still runs when this goes
    CAppUnderTest(const CAppUnderTest&) = delete;
    CAppUnderTest& operator=(const CAppUnderTest&) = delete;

    // Copies the program into dir as exeName and starts it from workingDir (dir when empty).
    // program names another build to copy (the allocation-fault one) instead of the real one.
    bool Start(const std::string& dir, const std::string& exeName = "Linkvigil.exe",
               const std::string& workingDir = "", const std::string& program = "");
    // The same by wide names, which may hold letters the ANSI code page lacks; started in dir.
    // Dir() and LogPath() are then empty: the caller knows the folder by its wide name.
    bool Start(const std::wstring& dir, const std::wstring& exeName);
    // The main dialog once it exists (it has the event list), or null after the time-out.
    HWND WaitForWindow(DWORD timeoutMs = kPatienceMs);

    std::vector<std::string> ListLines() const;
    size_t ListCount() const;
    // Waits until the list box holds exactly these lines, in this order.
    bool WaitForList(const std::vector<std::string>& expected, DWORD timeoutMs = kPatienceMs) const;
    std::string ButtonCaption() const;
    bool WaitForCaption(const std::string& caption, DWORD timeoutMs = kPatienceMs) const;

    // A click on the button, as the user makes it; returns once the window handled it.
    void PressButton();
    // A key pressed while the list box has the focus (VK_RETURN, VK_ESCAPE), handed to the
    // dialog's message loop as a typed key is.
    void PressKey(UINT virtualKey);
    // A key typed on the keyboard into the program's window, for keys that only the system's
    // input handling turns into messages (F1 becomes WM_HELP).
    void TypeKey(UINT virtualKey);
    // The close box.
    void Close();
    // TRUE when the process ended within the time-out.
    bool WaitForExit(DWORD timeoutMs = kPatienceMs, DWORD* exitCode = nullptr);
    // Ends the process at once, wherever it is, and waits until it is gone.
    void Kill();

    // Kernel handles the process holds and threads it runs, as the system lists them.
    size_t HandleCount() const;
    size_t ThreadCount() const;

    // A message box the program shows (a dialog of its process other than the main window).
    // A modal loop shows its dialog only once its queue first runs empty: notYetShown finds
    // a box already made whose loop has taken messages but not yet shown it.
    HWND FindMessageBox(bool notYetShown = false) const;
    static std::string WindowText(HWND hWnd);
    static std::wstring WideWindowText(HWND hWnd);
    // The text of a message box's message (its static control).
    static std::string MessageBoxText(HWND hBox);

    std::string LogPath() const { return m_dir + "\\LogFile.txt"; }
    const std::string& Dir() const { return m_dir; }
    HANDLE Process() const { return m_process.Process(); }
    DWORD ProcessId() const { return m_process.ProcessId(); }
    HWND Window() const { return m_hWnd; }

private:
    std::string m_dir;
    CChildProcess m_process;
    HWND m_hWnd = nullptr;
};

// Hides the help engine for a test, so that asking for help fails and the program shows its
// "Failed to launch help." box.
class CHelpEngineHidden {
public:
    CHelpEngineHidden();
    ~CHelpEngineHidden();
    CHelpEngineHidden(const CHelpEngineHidden&) = delete;
    CHelpEngineHidden& operator=(const CHelpEngineHidden&) = delete;
    bool Hid() const { return !m_hidden.empty(); }

private:
    std::vector<std::string> m_hidden;
};
