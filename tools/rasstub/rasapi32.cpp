// A stand-in for the Remote Access Service library, answering from the shared connection
// table. Wine's own RASAPI32 lists no connection and refuses notifications, so tests and
// demonstrations install this one in a Wine prefix's system directory instead. The .def file
// of each build decides which entry points it exports. Callers pass the records of Windows 95
// and NT 4.0 (ras_records.h), shorter than the platform's newest form of each: the fields are
// filled in a local record of the newest form, and only the caller's size is read or written.
#include "ras_records.h"
#include "standin_table.h"

#include <cstring>
#include <string>

using rasstub::CStandinTable;
using rasstub::kRasConnSize;
using rasstub::kRasPppIpSize;
using rasstub::Table;

namespace {

CStandinTable g_table;

// The dwSize field every RAS record starts with.
DWORD RecordSizeField(const void* record) {
    DWORD size = 0;
    std::memcpy(&size, record, sizeof size);
    return size;
}

// Fills one caller's record (kRasConnSize bytes) from a listed connection.
void WriteConnection(void* to, const rasstub::Connection& from) {
    RASCONNA record;
    std::memset(&record, 0, sizeof record);
    record.dwSize = kRasConnSize;
    record.hrasconn = reinterpret_cast<HRASCONN>(static_cast<ULONG_PTR>(from.hConnection));
    std::memcpy(record.szEntryName, from.szEntryName, sizeof record.szEntryName);
    std::strcpy(record.szDeviceType, "vpn");
    std::strcpy(record.szDeviceName, "WAN Miniport (L2TP)");
    std::memcpy(to, &record, kRasConnSize);
}

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
    table.counters.dwEnumCallsAtRegistration = table.counters.dwEnumCalls;
    FILETIME exit, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &registration.ftProcessCreated, &exit, &kernel, &user);
    return 0;
}

} // namespace

extern "C" {

DWORD WINAPI StandinEnumConnections(RASCONNA* connections, DWORD* size, DWORD* count) {
    if (connections == nullptr || size == nullptr || count == nullptr)
        return ERROR_INVALID_PARAMETER;
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
    DWORD needed = listed * kRasConnSize;
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
    if (*size >= sizeof(DWORD) && RecordSizeField(connections) != kRasConnSize)
        return ERROR_INVALID_SIZE;
    if (*size < needed) {
        *size = needed;
        *count = reported;
        GrowLate(*lock);
        return ERROR_BUFFER_TOO_SMALL;
    }
    BYTE* records = reinterpret_cast<BYTE*>(connections);
    for (DWORD i = 0; i < listed; ++i)
        WriteConnection(records + i * kRasConnSize, lock->connections[i]);
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
    if (info == nullptr || size == nullptr || projection != static_cast<DWORD>(RASP_PppIp))
        return ERROR_INVALID_PARAMETER;

    const rasstub::Connection* connection = nullptr;
    DWORD handle = static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(hConnection));
    for (DWORD i = 0; i < lock->dwConnections && connection == nullptr; ++i) {
        if (lock->connections[i].hConnection == handle)
            connection = &lock->connections[i];
    }
    if (connection == nullptr)
        return ERROR_INVALID_HANDLE;
    if (lock->faults.dwProjectionError != 0)
        return lock->faults.dwProjectionError;
    if (!connection->bComplete)
        return ERROR_PROJECTION_NOT_COMPLETE;
    if (*size < kRasPppIpSize) {
        *size = kRasPppIpSize;
        return ERROR_BUFFER_TOO_SMALL;
    }
    if (RecordSizeField(info) != kRasPppIpSize)
        return ERROR_INVALID_SIZE;
    // What the caller's record holds beyond the fields written stays as it was.
    RASPPPIPA record;
    std::memset(&record, 0, sizeof record);
    std::memcpy(&record, info, kRasPppIpSize);
    record.dwError = 0;
    std::memcpy(record.szIpAddress, connection->szIpAddress, sizeof record.szIpAddress);
    std::strcpy(record.szServerIpAddress, "192.0.2.1");
    std::memcpy(info, &record, kRasPppIpSize);
    *size = kRasPppIpSize;
    return 0;
}

// No phone book: the program only checks that these exist.
DWORD WINAPI StandinEnumEntries(const char*, const char*, void*, DWORD* size, DWORD* count) {
    if (size == nullptr || count == nullptr)
        return ERROR_INVALID_PARAMETER;
    *size = 0;
    *count = 0;
    return 0;
}

DWORD WINAPI StandinEditPhonebookEntry(HWND, const char*, const char*) {
    return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
}

DWORD WINAPI StandinGetEntryProperties(const char*, const char*, void*, DWORD*, BYTE*, DWORD*) {
    return ERROR_CANNOT_FIND_PHONEBOOK_ENTRY;
}

// Any connection handle, INVALID_HANDLE_VALUE included, registers for all connections.
DWORD WINAPI StandinConnectionNotification(HRASCONN, HANDLE hEvent, DWORD flags) {
    if (hEvent == nullptr || hEvent == INVALID_HANDLE_VALUE)
        return ERROR_INVALID_PARAMETER;
    if (!g_table.IsOpen())
        return ERROR_OPEN_FAILED;
    CStandinTable::CLock lock(g_table);
    return Register(*lock, hEvent, flags);
}

} // extern "C"
