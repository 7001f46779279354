// Points the global log at a scratch file for one test and reads back what reached it.
#pragma once

#include "log/log_file.h"

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
        std::vector<std::string> messages;
        HANDLE h = ::CreateFileA(m_path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return messages;
        std::string data;
        char buffer[4096];
        DWORD read = 0;
        while (::ReadFile(h, buffer, sizeof buffer, &read, nullptr) && read > 0)
            data.append(buffer, read);
        ::CloseHandle(h);
        size_t start = 0;
        for (size_t end; (end = data.find("\r\n", start)) != std::string::npos; start = end + 2)
            messages.push_back(data.substr(start + 18, end - start - 18));
        return messages;
    }

private:
    std::string m_path;
};
