// Points the global log at a scratch file for one test and reads back what reached it.
#pragma once

#include "log/log_file.h"

#include "files.h"
#include "log_text.h"

#include <windows.h>

#include <string>
#include <vector>

class CLogCapture {
public:
    explicit CLogCapture(const char* name, BOOL enabled = TRUE) {
        char temp[MAX_PATH];
        ::GetTempPathA(MAX_PATH, temp);
        m_path = std::string(temp) + "lv_" + name + "_" + std::to_string(::GetCurrentProcessId()) +
                 ".txt";
        ::DeleteFileA(m_path.c_str());
        g_logFile.SetPathAndOpen(m_path.c_str());
        g_logFile.m_bEnabled = enabled;
    }
    ~CLogCapture() {
        g_logFile.Close();
        g_logFile.m_bEnabled = FALSE;
        g_logFile.m_strPath[0] = '\0';
        ::DeleteFileA(m_path.c_str());
    }
    CLogCapture(const CLogCapture&) = delete;
    CLogCapture& operator=(const CLogCapture&) = delete;

    // The messages of the lines written so far, without timestamps and line ends.
    std::vector<std::string> Messages() const {
        std::string text = ReadWholeFile(m_path);
        // Only whole lines: one still being written is not a message yet.
        size_t lastEnd = text.rfind("\r\n");
        text.erase(lastEnd == std::string::npos ? 0 : lastEnd + 2);
        return LogMessagesOf(text);
    }

private:
    std::string m_path;
};
