// Owners for kernel handles and registry keys: one owner per handle, copying forbidden.
#pragma once

#include "wide_api.h"

#include <windows.h>

#include <utility>

// Owns a kernel handle (event, thread, file). Both NULL and INVALID_HANDLE_VALUE mean "none".
class CHandle {
public:
    CHandle() = default;
    explicit CHandle(HANDLE h) : m_h(h) {}
    ~CHandle() { Close(); }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    CHandle(CHandle&& other) noexcept : m_h(other.Release()) {}
    CHandle& operator=(CHandle&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    HANDLE Get() const { return m_h; }
    bool IsValid() const { return m_h != nullptr && m_h != INVALID_HANDLE_VALUE; }
    HANDLE Release() { return std::exchange(m_h, nullptr); }
    void Reset(HANDLE h = nullptr) {
        Close();
        m_h = h;
    }

private:
    void Close() {
        if (IsValid())
            ::CloseHandle(m_h);
        m_h = nullptr;
    }

    HANDLE m_h = nullptr;
};

// Owns an open registry key: closed once, on every path out.
class CRegKey {
public:
    CRegKey() = default;
    ~CRegKey() { Close(); }
    CRegKey(const CRegKey&) = delete;
    CRegKey& operator=(const CRegKey&) = delete;

    LONG Open(HKEY hParent, const char* subKey, REGSAM access) {
        Close();
        return OpenRegistryKey(hParent, subKey, access, &m_hKey);
    }
    // The wide form: on the NT family only (framework/wide_api.h).
    LONG Open(HKEY hParent, const wchar_t* subKey, REGSAM access) {
        Close();
        return OpenRegistryKey(hParent, subKey, access, &m_hKey);
    }
    HKEY Get() const { return m_hKey; }
    void Close() {
        if (m_hKey != nullptr)
            ::RegCloseKey(m_hKey);
        m_hKey = nullptr;
    }

private:
    HKEY m_hKey = nullptr;
};
