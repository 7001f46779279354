// The Windows version that Wine shows one program, chosen by the program's file name, for as
// long as the object lives; then every program sees Wine's default again.
#pragma once

#include <windows.h>

#include <string>

class CShownWindowsVersion {
public:
    // version as Wine's Version setting spells it: win95, win98, winme, nt40, ..., win10.
    CShownWindowsVersion(const std::string& exeName, const std::string& version)
        : m_key("Software\\Wine\\AppDefaults\\" + exeName) {
        HKEY key = nullptr;
        if (::RegCreateKeyExA(HKEY_CURRENT_USER, m_key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &key, nullptr) != ERROR_SUCCESS)
            return;
        m_bSet = ::RegSetValueExA(key, "Version", 0, REG_SZ,
                                  reinterpret_cast<const BYTE*>(version.c_str()),
                                  static_cast<DWORD>(version.size() + 1)) == ERROR_SUCCESS;
        ::RegCloseKey(key);
    }
    ~CShownWindowsVersion() { ::RegDeleteKeyA(HKEY_CURRENT_USER, m_key.c_str()); }
    CShownWindowsVersion(const CShownWindowsVersion&) = delete;
    CShownWindowsVersion& operator=(const CShownWindowsVersion&) = delete;

    bool IsSet() const { return m_bSet; }

private:
    std::string m_key;
    bool m_bSet = false;
};
