// One check of the RAS connection table against the monitored connection.
#include "connection.h"

#include "framework/thread.h"
#include "log/log_file.h"

#include <mbstring.h>

#include <cstring>
#include <cstdlib>
#include <new>

namespace {

// A field's text up to its NUL, or the whole field when RAS left it unterminated.
template <size_t N> std::string FieldText(const CHAR (&field)[N]) {
    const void* end = std::memchr(field, '\0', N);
    size_t length = end != nullptr ? static_cast<size_t>(static_cast<const CHAR*>(end) - field) : N;
    return std::string(field, length);
}

void PostToMainWindow(UINT message, CConnection* connection) {
    HWND hMainWnd = GetThreadMainWindow();
    // Without a window, a null target would post to the calling thread instead.
    if (hMainWnd != nullptr)
        ::PostMessageA(hMainWnd, message, reinterpret_cast<WPARAM>(connection), 0);
}

} // namespace

void CheckConnections() {
    RunConnectionCheck();
}

CheckOutcome RunConnectionCheck() {
    if (!LoadRasApi())
        return CheckOutcome::Settled;
    RASCONN* buffer = nullptr;
    bool outOfMemory = false;
    DWORD count = EnumRasConnections(&buffer, &outOfMemory);
    // Without memory for the table this round knows nothing: an empty table would be taken
    // for a disconnection. Nothing is posted; the caller checks again later.
    if (outOfMemory)
        return CheckOutcome::OutOfMemory;
    CheckOutcome outcome = CheckOutcome::Settled;
    try {
        BOOL addressPending = FALSE;
        g_connection.UpdateState(count, buffer, &addressPending);
        if (addressPending)
            outcome = CheckOutcome::AddressPending;
    } catch (const std::bad_alloc&) {
        outcome = CheckOutcome::OutOfMemory; // gave up before posting: the lines written stay
    }
    std::free(buffer);
    return outcome;
}

void CConnection::UpdateState(DWORD count, const RASCONN* entries) {
    UpdateState(count, entries, nullptr);
}

void CConnection::UpdateState(DWORD count, const RASCONN* entries, BOOL* pAddressPending) {
    std::string address;
    DWORD projectionError = 0;
    BOOL found = FindConnection(count, entries, address, &projectionError);
    // Pending whatever the state: up and listed again with its projection pending (a redial
    // under the same entry) is not found, so DOWN is posted now and UP once the new address
    // is there. 730 is what RasGetProjectionInfo's page documents before the projection is
    // done (the RAS error table calls it deprecated from Vista on); no page names another
    // code. Under Wine only the test stand-in answers it.
    if (pAddressPending != nullptr)
        *pAddressPending = projectionError == ERROR_PROJECTION_NOT_COMPLETE;
    bool up = (m_dwFlags & kFlagUp) != 0;
    if (!up && found) {
        // Stored before posting, so the handler reads the new address.
        SetIPAddress(address.c_str());
        PostToMainWindow(WM_CONNECTION_UP, this);
    } else if (up && !found) {
        PostToMainWindow(WM_CONNECTION_DOWN, this);
    }
    // Still up and still found: an address that changed meanwhile goes unnoticed.
}

BOOL CConnection::FindConnection(DWORD count, const RASCONN* entries, std::string& ipAddress) {
    return FindConnection(count, entries, ipAddress, nullptr);
}

BOOL CConnection::FindConnection(DWORD count, const RASCONN* entries, std::string& ipAddress,
                                 DWORD* pProjectionError) {
    if (pProjectionError != nullptr)
        *pProjectionError = 0;
    if (entries == nullptr)
        count = 0;
    if (g_logFile.m_bEnabled && count > 0)
        g_logFile.Write("Connectoid list:\n");

    const std::string wanted = GetName();
    const RASCONN* match = nullptr;
    for (DWORD i = 0; i < count; ++i) {
        std::string entryName = FieldText(entries[i].szEntryName);
        if (g_logFile.m_bEnabled)
            g_logFile.Write("%s\n", entryName.c_str()); // the name is text, never a format
        if (_mbsicmp(reinterpret_cast<const unsigned char*>(wanted.c_str()),
                     reinterpret_cast<const unsigned char*>(entryName.c_str())) == 0) {
            match = &entries[i];
            break;
        }
    }
    if (match == nullptr || RasGetProjectionInfoA == nullptr)
        return FALSE;

    RASPPPIP projection = {};
    projection.dwSize = sizeof projection;
    DWORD size = sizeof projection;
    // ERROR_PROJECTION_NOT_COMPLETE until the projection is done; the caller checks again.
    DWORD error = RasGetProjectionInfoA(match->hrasconn, RASP_PppIp, &projection, &size);
    // Answered, but the negotiation failed for good: the record's address is then no address.
    if (error == 0)
        error = projection.dwError;
    if (pProjectionError != nullptr)
        *pProjectionError = error;
    if (error != 0)
        return FALSE;
    ipAddress = FieldText(projection.szIpAddress);
    return TRUE;
}
