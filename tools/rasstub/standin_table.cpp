#include "standin_table.h"

#include "ras_records.h"

#include <cstdio>
#include <cstring>

namespace rasstub {

namespace {

constexpr char kMutexName[] = "LinkvigilRasStandinMutex";
constexpr char kMappingName[] = "LinkvigilRasStandinTable";
// Backed by a file so that the table outlives each rasctl.exe that changes it.
constexpr char kFileName[] = "linkvigil-rasstub.tbl";
constexpr DWORD kMagic = 0x42545352; // "RSTB"
constexpr DWORD kFirstHandle = 0x100;

void CopyField(CHAR* field, size_t size, const char* text) {
    std::memset(field, 0, size);
    size_t length = std::strlen(text);
    std::memcpy(field, text, length < size ? length : size);
}

bool FieldEquals(const CHAR* field, size_t size, const char* text) {
    size_t length = std::strlen(text);
    if (length >= size)
        return std::memcmp(field, text, size) == 0;
    return std::memcmp(field, text, length) == 0 && field[length] == '\0';
}

bool IsSameProcess(HANDLE hProcess, const FILETIME& created) {
    FILETIME start, exit, kernel, user;
    DWORD exitCode = 0;
    return ::GetProcessTimes(hProcess, &start, &exit, &kernel, &user) &&
           ::CompareFileTime(&start, &created) == 0 && ::GetExitCodeProcess(hProcess, &exitCode) &&
           exitCode == STILL_ACTIVE;
}

// Sets one registrant's event in its own process when it asked for flag. Returns false when
// the registrant is gone (process ended, or event closed), so the caller drops it.
bool SignalOne(Table& table, const Registration& registration, DWORD flag) {
    HANDLE hProcess = ::OpenProcess(PROCESS_DUP_HANDLE | PROCESS_QUERY_INFORMATION, FALSE,
                                    registration.dwProcessId);
    if (hProcess == nullptr)
        return false;
    bool alive = IsSameProcess(hProcess, registration.ftProcessCreated);
    if (alive && (registration.dwFlags & flag) != 0) {
        HANDLE hEvent = nullptr;
        HANDLE hRemote = reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(registration.dwEvent));
        if (::DuplicateHandle(hProcess, hRemote, ::GetCurrentProcess(), &hEvent, EVENT_MODIFY_STATE,
                              FALSE, 0)) {
            LARGE_INTEGER now;
            ::QueryPerformanceCounter(&now);
            table.counters.llLastSignalQpc = now.QuadPart;
            if (::SetEvent(hEvent))
                ++table.counters.dwSignals;
            else
                alive = false;
            ::CloseHandle(hEvent);
        } else {
            alive = false;
        }
    }
    ::CloseHandle(hProcess);
    return alive;
}

} // namespace

CStandinTable::CStandinTable() {
    m_hMutex = ::CreateMutexA(nullptr, FALSE, kMutexName);
    if (m_hMutex == nullptr)
        return;
    ::WaitForSingleObject(m_hMutex, INFINITE);

    char path[MAX_PATH];
    DWORD length = ::GetTempPathA(MAX_PATH, path);
    if (length != 0 && length + sizeof kFileName <= MAX_PATH) {
        std::memcpy(path + length, kFileName, sizeof kFileName);
        m_hFile = ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (m_hFile != INVALID_HANDLE_VALUE)
        m_hMapping =
            ::CreateFileMappingA(m_hFile, nullptr, PAGE_READWRITE, 0, sizeof(Table), kMappingName);
    if (m_hMapping != nullptr)
        m_pTable = static_cast<Table*>(
            ::MapViewOfFile(m_hMapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(Table)));
    // A new file, or one left by a build with another layout, starts empty.
    if (m_pTable != nullptr &&
        (m_pTable->dwMagic != kMagic || m_pTable->dwLayoutSize != sizeof(Table))) {
        std::memset(m_pTable, 0, sizeof(Table));
        m_pTable->dwMagic = kMagic;
        m_pTable->dwLayoutSize = sizeof(Table);
        m_pTable->dwNextHandle = kFirstHandle;
    }
    ::ReleaseMutex(m_hMutex);
}

CStandinTable::~CStandinTable() {
    if (m_pTable != nullptr)
        ::UnmapViewOfFile(m_pTable);
    if (m_hMapping != nullptr)
        ::CloseHandle(m_hMapping);
    if (m_hFile != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_hFile);
    if (m_hMutex != nullptr)
        ::CloseHandle(m_hMutex);
}

CStandinTable::CLock::CLock(CStandinTable& table) : m_owner(table), m_pTable(table.m_pTable) {
    // An abandoned mutex (a holder crashed) is owned all the same.
    ::WaitForSingleObject(m_owner.m_hMutex, INFINITE);
}

CStandinTable::CLock::~CLock() {
    ::ReleaseMutex(m_owner.m_hMutex);
}

CStandinTable::CBatch::CBatch(CStandinTable& table) : m_owner(table), m_lock(table) {
    ++m_owner.m_nBatchDepth;
}

CStandinTable::CBatch::~CBatch() {
    if (--m_owner.m_nBatchDepth == 0 && m_owner.m_dwDeferredFlags != 0) {
        Signal(*m_lock, m_owner.m_dwDeferredFlags);
        m_owner.m_dwDeferredFlags = 0;
    }
}

void CStandinTable::NoteEnumEntered() {
    if (m_pTable != nullptr)
        ::InterlockedIncrement(&m_pTable->counters.lEnumEntered);
}

void CStandinTable::Announce(Table& table, DWORD flag) {
    ++table.counters.dwChanges;
    if (m_nBatchDepth > 0)
        m_dwDeferredFlags |= flag;
    else
        Signal(table, flag);
}

void CStandinTable::Signal(Table& table, DWORD flag) {
    DWORD kept = 0;
    for (DWORD i = 0; i < table.dwRegistrations && i < kMaxRegistrations; ++i) {
        if (SignalOne(table, table.registrations[i], flag))
            table.registrations[kept++] = table.registrations[i];
    }
    table.dwRegistrations = kept;
}

int CStandinTable::Find(const Table& table, const char* name) {
    for (DWORD i = 0; i < table.dwConnections && i < kMaxConnections; ++i) {
        if (FieldEquals(table.connections[i].szEntryName, kEntryNameSize, name))
            return static_cast<int>(i);
    }
    return -1;
}

bool CStandinTable::Append(Table& table, const char* name, const char* ip, bool complete) {
    if (table.dwConnections >= kMaxConnections)
        return false;
    Connection& connection = table.connections[table.dwConnections++];
    connection.hConnection = table.dwNextHandle++;
    connection.bComplete = complete;
    CopyField(connection.szEntryName, kEntryNameSize, name);
    CopyField(connection.szIpAddress, kIpAddressSize, ip);
    return true;
}

DWORD CStandinTable::Up(const char* name, const char* ip, bool complete) {
    if (!IsOpen())
        return 0;
    CLock lock(*this);
    if (!Append(*lock, name, ip, complete))
        return 0;
    Announce(*lock, RASCN_Connection);
    return lock->connections[lock->dwConnections - 1].hConnection;
}

bool CStandinTable::Complete(const char* name, bool signal) {
    if (!IsOpen())
        return false;
    CLock lock(*this);
    int index = Find(*lock, name);
    if (index < 0)
        return false;
    lock->connections[index].bComplete = TRUE;
    if (signal)
        Announce(*lock, RASCN_Connection);
    else
        ++lock->counters.dwChanges;
    return true;
}

bool CStandinTable::Down(const char* name) {
    if (!IsOpen())
        return false;
    CLock lock(*this);
    int index = Find(*lock, name);
    if (index < 0)
        return false;
    Connection* first = &lock->connections[index];
    std::memmove(first, first + 1, (lock->dwConnections - index - 1) * sizeof(Connection));
    --lock->dwConnections;
    Announce(*lock, RASCN_Disconnection);
    return true;
}

void CStandinTable::DownAll() {
    if (!IsOpen())
        return;
    CLock lock(*this);
    if (lock->dwConnections == 0)
        return;
    lock->dwConnections = 0;
    Announce(*lock, RASCN_Disconnection);
}

DWORD CStandinTable::UpMany(DWORD count, const char* prefix) {
    if (!IsOpen())
        return 0;
    CLock lock(*this);
    DWORD added = 0;
    for (; added < count && lock->dwConnections < kMaxConnections; ++added) {
        Connection& connection = lock->connections[lock->dwConnections++];
        connection.hConnection = lock->dwNextHandle++;
        connection.bComplete = TRUE;
        char text[kEntryNameSize + 16];
        std::snprintf(text, sizeof text, "%.200s%lu", prefix,
                      static_cast<unsigned long>(added + 1));
        CopyField(connection.szEntryName, kEntryNameSize, text);
        std::snprintf(text, sizeof text, "10.%lu.%lu.%lu",
                      static_cast<unsigned long>((added + 1) >> 16 & 0xFF),
                      static_cast<unsigned long>((added + 1) >> 8 & 0xFF),
                      static_cast<unsigned long>((added + 1) & 0xFF));
        CopyField(connection.szIpAddress, kIpAddressSize, text);
    }
    if (added > 0)
        Announce(*lock, RASCN_Connection);
    return added;
}

void CStandinTable::Reset() {
    if (!IsOpen())
        return;
    CLock lock(*this);
    lock->dwConnections = 0;
    lock->faults = Faults();
    lock->counters = Counters();
    DWORD self = ::GetCurrentProcessId();
    DWORD kept = 0;
    for (DWORD i = 0; i < lock->dwRegistrations; ++i) {
        if (lock->registrations[i].dwProcessId != self)
            lock->registrations[kept++] = lock->registrations[i];
    }
    lock->dwRegistrations = kept;
    Signal(*lock, 0); // only drops registrants that are gone
}

Faults CStandinTable::GetFaults() {
    if (!IsOpen())
        return Faults();
    CLock lock(*this);
    return lock->faults;
}

void CStandinTable::SetFaults(const Faults& faults) {
    if (!IsOpen())
        return;
    CLock lock(*this);
    lock->faults = faults;
}

Counters CStandinTable::GetCounters() {
    if (!IsOpen())
        return Counters();
    CLock lock(*this);
    return lock->counters;
}

std::vector<Connection> CStandinTable::GetConnections() {
    if (!IsOpen())
        return {};
    CLock lock(*this);
    return std::vector<Connection>(lock->connections, lock->connections + lock->dwConnections);
}

std::vector<Registration> CStandinTable::GetRegistrations() {
    if (!IsOpen())
        return {};
    CLock lock(*this);
    return std::vector<Registration>(lock->registrations,
                                     lock->registrations + lock->dwRegistrations);
}

} // namespace rasstub
