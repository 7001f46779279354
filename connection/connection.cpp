#include "connection.h"

#include "app/message_box.h"
#include "app/resource.h"
#include "framework/system_library.h"
#include "log/log_file.h"

#include <mbstring.h>

namespace {

// WinINet's entry points, resolved on first use: a static import of WinINet would keep the
// program from starting where WinINet is not installed. X(name, parameters), each returning
// a Win32 error code.
#define WININET_ENTRY_POINTS(X)                                                                    \
    X(InternetDial, (HWND, LPSTR connectoid, DWORD flags, DWORD_PTR * connection, DWORD reserved)) \
    X(InternetHangUp, (DWORD_PTR connection, DWORD reserved))

struct WinInet {
#define WININET_DECLARE_ENTRY_POINT(name, parameters)                                              \
    typedef DWORD(WINAPI* PFN_##name) parameters;                                                  \
    PFN_##name name = nullptr;
    WININET_ENTRY_POINTS(WININET_DECLARE_ENTRY_POINT)
#undef WININET_DECLARE_ENTRY_POINT
};

const WinInet& GetWinInet() {
    static const WinInet entryPoints = [] {
        WinInet loaded;
        if (HMODULE module = LoadSystemLibrary("WININET.DLL")) {
#define WININET_RESOLVE_ENTRY_POINT(name, parameters)                                              \
    loaded.name = GetEntryPoint<WinInet::PFN_##name>(module, #name);
            WININET_ENTRY_POINTS(WININET_RESOLVE_ENTRY_POINT)
#undef WININET_RESOLVE_ENTRY_POINT
        }
        return loaded;
    }();
    return entryPoints;
}

constexpr DWORD INTERNET_AUTODIAL_FORCE_ONLINE = 0x0001;
constexpr DWORD INTERNET_DIAL_UNATTENDED = 0x8000;

} // namespace

// --- CConnection -----------------------------------------------------------------------------

CConnection::CConnection(const char* name)
    : m_strName(name != nullptr ? name : ""), m_dwFlags(kFlagLastCallFlag) {}

CConnection::~CConnection() = default;

std::string CConnection::GetName() const {
    return m_strName;
}

BOOL CConnection::IsNamed(const char* name) const {
    if (name == nullptr)
        return FALSE;
    return _mbsicmp(reinterpret_cast<const unsigned char*>(m_strName.c_str()),
                    reinterpret_cast<const unsigned char*>(name)) == 0;
}

BOOL CConnection::OnConnected(BOOL bFlag) {
    m_dwFlags = (m_dwFlags & ~kFlagsClearedOnConnect) | kFlagUp | ((bFlag & 1u) << 1);
    if (g_logFile.m_bEnabled)
        g_logFile.WriteResource(IDS_LOG_CONNECTED, m_strName.c_str(), GetIPAddress().c_str());
    return TRUE;
}

BOOL CConnection::OnDisconnected(BOOL bFlag) {
    m_dwFlags = (m_dwFlags & ~kFlagsClearedOnDisconnect) | ((bFlag & 1u) << 1);
    if (g_logFile.m_bEnabled)
        g_logFile.WriteResource(IDS_LOG_DISCONNECTED, m_strName.c_str());
    return TRUE;
}

void CConnection::SetConnected() {
    if (m_dwFlags & kFlagUp)
        return;
    m_dwFlags |= kFlagUp;
    OnConnected(TRUE);
}

void CConnection::SetDisconnected() {
    if ((m_dwFlags & kFlagUp) == 0)
        return;
    m_dwFlags &= ~kFlagsClearedOnSetDisconnected;
    OnDisconnected(TRUE);
}

void CConnection::SetIPAddress(const char* ip) {
    CLockGuard guard(m_lock);
    m_strIPAddress = ip != nullptr ? ip : "";
}

std::string CConnection::GetIPAddress() {
    CLockGuard guard(m_lock);
    return m_strIPAddress;
}

// --- CDialupConnection -----------------------------------------------------------------------

CDialupConnection::CDialupConnection(const char* name)
    : CConnection(name), m_hConnection(kNoConnection) {}

BOOL CDialupConnection::OnConnected(BOOL bFlag) {
    return CConnection::OnConnected(bFlag);
}

BOOL CDialupConnection::OnDisconnected(BOOL bFlag) {
    return CConnection::OnDisconnected(bFlag);
}

BOOL CDialupConnection::IsDialed() const {
    return m_hConnection != kNoConnection;
}

BOOL CDialupConnection::Dial(BOOL bUnattended) {
    const WinInet& winInet = GetWinInet();
    DWORD flags = bUnattended ? (INTERNET_DIAL_UNATTENDED | INTERNET_AUTODIAL_FORCE_ONLINE)
                              : INTERNET_AUTODIAL_FORCE_ONLINE;
    if (winInet.InternetDial != nullptr &&
        winInet.InternetDial(nullptr, &m_strName[0], flags, &m_hConnection, 0) == ERROR_SUCCESS)
        return TRUE;
    m_hConnection = kNoConnection;
    return FALSE;
}

BOOL CDialupConnection::HangUp() {
    const WinInet& winInet = GetWinInet();
    if (winInet.InternetHangUp != nullptr)
        winInet.InternetHangUp(m_hConnection, 0);
    m_hConnection = kNoConnection;
    return TRUE;
}

// --- CAolConnection --------------------------------------------------------------------------

CAolConnection::CAolConnection() : CDialupConnection("AOL") {}

std::string CAolConnection::GetName() const {
    return "AOL L2TP";
}

BOOL CAolConnection::IsDialed() const {
    return FALSE;
}

BOOL CAolConnection::Dial(BOOL) {
    MessageBoxFormat("Dialing not supported with AOL", MB_ICONEXCLAMATION);
    return FALSE;
}

BOOL CAolConnection::HangUp() {
    return FALSE;
}
