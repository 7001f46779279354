// A stand-in for the Remote Access Service library, answering from the shared connection
// table. Wine's own RASAPI32 lists no connection and refuses notifications, so tests and
// demonstrations install this one in a Wine prefix's system directory instead. The .def file
// of each build decides which entry points it exports.
#include "standin_table.h"

#include <cstring>
#include <string>

using rasstub::CStandinTable;
using rasstub::Table;

namespace {

CStandinTable g_table;

// Connections that come up while the caller grows its buffer, once: then the table is still.
void GrowLate(Table& table) {
    for (DWORD i = 0; i < table.faults.dwGrowBy; ++i) {
        std::string name = "Late" + std::to_string(table.dwConnections + 1);
        CStandinTable::Append(table, name.c_str(), "10.255.0.1", true);
    }
    table.faults.dwGrowBy = 0;
}

// Records the calling process's event, or drops it when flags is 0.
DWORD Register(Table& table, HANDLE hEvent, DWORD flags) {
    DWORD pid = ::GetCurrentProcessId();
    DWORD event = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(hEvent));
    DWORD index = 0;
    while (index < table.dwRegistrations && !(table.registrations[index].dwProcessId == pid &&
                                              table.registrations[index].dwEvent == event))
        ++index;

    if (flags == 0) {
        if (index < table.dwRegistrations)
            table.registrations[index] = table.registrations[--table.dwRegistrations];
        return 0;
    }
    if (table.faults.dwNotifyError != 0)
        return table.faults.dwNotifyError;
    if (index == table.dwRegistrations) {
        if (index >= rasstub::kMaxRegistrations)
            return ERROR_NOT_ENOUGH_MEMORY;
        ++table.dwRegistrations;
    }
    rasstub::Registration& registration = table.registrations[index];
    registration.dwProcessId = pid;
    registration.dwEvent = event;
    registration.dwFlags = flags;
    FILETIME exit, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &registration.ftProcessCreated, &exit, &kernel, &user);
    return 0;
}

} // namespace

extern "C" {

DWORD WINAPI StandinEnumConnections(RASCONN* connections, DWORD* size, DWORD* count) {
    if (connections == nullptr || size == nullptr || count == nullptr)
        return rasstub::kErrorInvalidParameter;
    if (!g_table.IsOpen())
        return ERROR_OPEN_FAILED;
    g_table.NoteEnumEntered();
    CStandinTable::CLock lock(g_table);
    ++lock->counters.dwEnumCalls;
    lock->counters.dwEnumSeen = lock->counters.dwChanges;
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    lock->counters.llLastEnumQpc = now.QuadPart;
    const rasstub::Faults& faults = lock->faults;
    DWORD listed = lock->dwConnections;
    DWORD needed = listed * sizeof(RASCONN);
    DWORD reported = faults.bCount ? faults.dwCount : listed;

    if (faults.dwEnumError != 0) {
        bool sizeError = faults.dwEnumError == ERROR_BUFFER_TOO_SMALL ||
                         faults.dwEnumError == ERROR_NOT_ENOUGH_MEMORY;
        if (sizeError)
            *size = faults.bEnumSize ? faults.dwEnumSize : needed;
        *count = (sizeError || faults.bCount) ? reported : 0;
        if (sizeError)
            GrowLate(*lock);
        return faults.dwEnumError;
    }
    if (*size >= sizeof(DWORD) && connections->dwSize != sizeof(RASCONN))
        return rasstub::kErrorInvalidSize;
    if (*size < needed) {
        *size = needed;
        *count = reported;
        GrowLate(*lock);
        return ERROR_BUFFER_TOO_SMALL;
    }
    for (DWORD i = 0; i < listed; ++i) {
        const rasstub::Connection& from = lock->connections[i];
        RASCONN& to = connections[i];
        std::memset(&to, 0, sizeof to);
        to.dwSize = sizeof(RASCONN);
        to.hrasconn = reinterpret_cast<HRASCONN>(static_cast<ULONG_PTR>(from.hConnection));
        std::memcpy(to.szEntryName, from.szEntryName, sizeof to.szEntryName);
        std::strcpy(to.szDeviceType, "vpn");
        std::strcpy(to.szDeviceName, "WAN Miniport (L2TP)");
    }
    *size = needed;
    *count = reported;
    return 0;
}

DWORD WINAPI StandinGetProjectionInfo(HRASCONN hConnection, DWORD projection, void* info,
                                      DWORD* size) {
    if (!g_table.IsOpen())
        return ERROR_OPEN_FAILED;
    CStandinTable::CLock lock(g_table);
    ++lock->counters.dwProjectionCalls;
    lock->counters.dwProjectionSeen = lock->counters.dwChanges;
    if (info == nullptr || size == nullptr || projection != RASP_PppIp)
        return rasstub::kErrorInvalidParameter;

    const rasstub::Connection* connection = nullptr;
    DWORD handle = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(hConnection));
    for (DWORD i = 0; i < lock->dwConnections && connection == nullptr; ++i) {
        if (lock->connections[i].hConnection == handle)
            connection = &lock->connections[i];
    }
    if (connection == nullptr)
        return rasstub::kErrorInvalidHandle;
    if (lock->faults.dwProjectionError != 0)
        return lock->faults.dwProjectionError;
    if (!connection->bComplete)
        return rasstub::kErrorProjectionNotComplete;
    if (*size < sizeof(RASPPPIP)) {
        *size = sizeof(RASPPPIP);
        return ERROR_BUFFER_TOO_SMALL;
    }
    RASPPPIP* record = static_cast<RASPPPIP*>(info);
    if (record->dwSize != sizeof(RASPPPIP))
        return rasstub::kErrorInvalidSize;
    record->dwError = 0;
    std::memcpy(record->szIpAddress, connection->szIpAddress, sizeof record->szIpAddress);
    std::strcpy(record->szServerIpAddress, "192.0.2.1");
    *size = sizeof(RASPPPIP);
    return 0;
}

// No phone book: the program only checks that these exist.
DWORD WINAPI StandinEnumEntries(const char*, const char*, void*, DWORD* size, DWORD* count) {
    if (size == nullptr || count == nullptr)
        return rasstub::kErrorInvalidParameter;
    *size = 0;
    *count = 0;
    return 0;
}

DWORD WINAPI StandinEditPhonebookEntry(HWND, const char*, const char*) {
    return rasstub::kErrorCannotFindEntry;
}

DWORD WINAPI StandinGetEntryProperties(const char*, const char*, void*, DWORD*, BYTE*, DWORD*) {
    return rasstub::kErrorCannotFindEntry;
}

// Any connection handle, INVALID_HANDLE_VALUE included, registers for all connections.
DWORD WINAPI StandinConnectionNotification(HRASCONN, HANDLE hEvent, DWORD flags) {
    if (hEvent == nullptr || hEvent == INVALID_HANDLE_VALUE)
        return rasstub::kErrorInvalidParameter;
    if (!g_table.IsOpen())
        return ERROR_OPEN_FAILED;
    CStandinTable::CLock lock(g_table);
    return Register(*lock, hEvent, flags);
}

} // extern "C"
