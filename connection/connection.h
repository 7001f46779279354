// The monitored connection, the check that compares it with the RAS connection table, and
// the monitor thread that runs the check.
#pragma once

#include "framework/sync.h"
#include "framework/system_library.h"
#include "ras/ras_api.h"

#include <windows.h>

#include <atomic>
#include <string>

// Posted (never sent) to the main window; wParam is the CConnection, lParam 0.
constexpr UINT WM_CONNECTION_UP = WM_APP + 1;
constexpr UINT WM_CONNECTION_DOWN = WM_APP + 2;

// Bits of CConnection::m_dwFlags.
constexpr DWORD kFlagUp = 0x01;
constexpr DWORD kFlagLastCallFlag = 0x02; // the bFlag of the last OnConnected/OnDisconnected
constexpr DWORD kFlagReserved = 0x10;     // nothing sets it; every change of state clears it
// What a change of state clears before it sets its own bits.
constexpr DWORD kFlagsClearedOnConnect = kFlagLastCallFlag | kFlagReserved;
constexpr DWORD kFlagsClearedOnDisconnect = 0x1F; // bits 0 to 4
constexpr DWORD kFlagsClearedOnSetDisconnected = kFlagUp | kFlagReserved;

class CConnection {
public:
    explicit CConnection(const char* name);
    virtual ~CConnection();
    CConnection(const CConnection&) = delete;
    CConnection& operator=(const CConnection&) = delete;

    // The name matched against RAS entry names.
    virtual std::string GetName() const;
    // Compares with m_strName, case-insensitively and multibyte-aware.
    virtual BOOL IsNamed(const char* name) const;
    virtual BOOL OnConnected(BOOL bFlag);
    virtual BOOL OnDisconnected(BOOL bFlag);
    // Edge-triggered: only a change of state has an effect.
    virtual void SetConnected();
    virtual void SetDisconnected();

    void SetIPAddress(const char* ip);
    std::string GetIPAddress();

    // TRUE when this connection is among the records and its IP address was read.
    BOOL FindConnection(DWORD count, const RASCONN* entries, std::string& ipAddress);
    // The same; *pProjectionError receives RAS's answer to the projection query of the match
    // (0 when it was read or when nothing matched).
    BOOL FindConnection(DWORD count, const RASCONN* entries, std::string& ipAddress,
                        DWORD* pProjectionError);
    // Posts WM_CONNECTION_UP or WM_CONNECTION_DOWN when the records disagree with the state.
    void UpdateState(DWORD count, const RASCONN* entries);
    // The same; *pAddressPending receives TRUE when this connection is listed but RAS has not
    // completed its IP projection yet, whatever the state.
    void UpdateState(DWORD count, const RASCONN* entries, BOOL* pAddressPending);

    CCriticalSection m_lock; // guards m_strIPAddress
    std::string m_strName;   // shown in log lines
    std::string m_strIPAddress;
    // Written only on the user-interface thread, read by the monitor thread without a lock.
    std::atomic<DWORD> m_dwFlags;
};

class CDialupConnection : public CConnection {
public:
    explicit CDialupConnection(const char* name);

    BOOL OnConnected(BOOL bFlag) override;
    BOOL OnDisconnected(BOOL bFlag) override;
    virtual BOOL IsDialed() const;
    // Dials the phone-book entry m_strName through WinINet.
    virtual BOOL Dial(BOOL bUnattended);
    virtual BOOL HangUp();

    static constexpr DWORD_PTR kNoConnection = static_cast<DWORD_PTR>(-1);
    DWORD_PTR m_hConnection; // WinINet dial handle, kNoConnection when none
};

// The AOL client's connection: RAS lists it as "AOL L2TP", and only the client can dial it.
class CAolConnection : public CDialupConnection {
public:
    CAolConnection();

    std::string GetName() const override;
    BOOL IsDialed() const override;
    BOOL Dial(BOOL bUnattended) override;
    BOOL HangUp() override;
};

extern CAolConnection g_connection;

// What one check saw, as far as the monitor thread must know whether to look again before
// RAS signals the next change.
enum class CheckOutcome {
    Settled,        // the table was compared with the state
    OutOfMemory,    // gave up before posting anything: this round knows nothing
    AddressPending, // the connection is listed, its IP projection not complete yet
};

// Runs one check of the RAS connection table against g_connection.
void CheckConnections();
// The same, saying what it saw.
CheckOutcome RunConnectionCheck();

// The monitor thread's timing: a check every kPollIntervalMs where RAS gives no signal (and
// while an address is pending), and on Windows 9x kSettleDelayMs between a signal and its
// check. Defined in monitor_intervals.cpp, a file of their own so that a test program can link
// shorter ones in its place.
extern const DWORD kPollIntervalMs;
extern const DWORD kSettleDelayMs;

// The monitor thread. StartMonitoring returns TRUE when it runs (or already ran); the thread
// registers for RAS's signals, then looks once, then waits.
BOOL StartMonitoring();
void StopMonitoring();
UINT __cdecl MonitorThreadProc(void* param);
UINT PollConnections();
// IsWindows9x() is the framework's (framework/system_library.h): the log and the installation
// probe choose their kind of path by it too.

class CWorkerThread;
extern HANDLE g_hStopEvent;
extern CWorkerThread* g_pMonitorThread;
