// The App Paths entry of aol.exe, which the program's start-up probe reads (app/aol_probe.h):
// what a test registers there, and the state it leaves behind.
#pragma once

#include "files.h"

#include <windows.h>

#include <string>
#include <vector>

inline constexpr wchar_t kAolAppPathsKey[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\aol.exe";

// Makes the entry's key, and gives it a default value unless data is null.
inline bool WriteAolEntry(DWORD type, const BYTE* data, DWORD size) {
    HKEY key = nullptr;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kAolAppPathsKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                          &key, nullptr) != ERROR_SUCCESS)
        return false;
    LONG set =
        data == nullptr ? ERROR_SUCCESS : ::RegSetValueExW(key, nullptr, 0, type, data, size);
    ::RegCloseKey(key);
    return set == ERROR_SUCCESS;
}

// Registers path as aol.exe's: REG_SZ, or REG_EXPAND_SZ for a path that names environment
// variables. False when the key or the value could not be written.
inline bool RegisterAol(const std::wstring& path, DWORD type = REG_SZ) {
    return WriteAolEntry(type, reinterpret_cast<const BYTE*>(path.c_str()),
                         static_cast<DWORD>((path.size() + 1) * sizeof(wchar_t)));
}
// The same for a path in the ANSI code page.
inline bool RegisterAol(const std::string& path) {
    return RegisterAol(Widen(path));
}
// Removes the entry: the program then reports AOL as not installed.
inline void UnregisterAol() {
    ::RegDeleteKeyW(HKEY_LOCAL_MACHINE, kAolAppPathsKey);
}

// AOL not registered for the object's lifetime; then the entry's default value is put back
// as it was, so that a test leaves the prefix as it found it.
class CAolUnregistered {
public:
    CAolUnregistered() {
        HKEY key = nullptr;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kAolAppPathsKey, 0, KEY_READ, &key) ==
            ERROR_SUCCESS) {
            m_bKeyExisted = true;
            DWORD size = 0;
            if (::RegQueryValueExW(key, nullptr, nullptr, &m_dwType, nullptr, &size) ==
                ERROR_SUCCESS) {
                m_data.resize(size);
                m_bValueExisted = ::RegQueryValueExW(key, nullptr, nullptr, &m_dwType,
                                                     m_data.data(), &size) == ERROR_SUCCESS;
                m_data.resize(size);
            }
            ::RegCloseKey(key);
        }
        UnregisterAol();
    }
    ~CAolUnregistered() {
        UnregisterAol();
        if (m_bKeyExisted)
            WriteAolEntry(m_dwType, m_bValueExisted ? m_data.data() : nullptr,
                          static_cast<DWORD>(m_data.size()));
    }
    CAolUnregistered(const CAolUnregistered&) = delete;
    CAolUnregistered& operator=(const CAolUnregistered&) = delete;

private:
    bool m_bKeyExisted = false;
    bool m_bValueExisted = false;
    DWORD m_dwType = 0;
    std::vector<BYTE> m_data;
};
