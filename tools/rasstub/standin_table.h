// The connection table of the RAS stand-in: a file-backed named mapping guarded by a named
// mutex, so that the stand-in DLL inside the program, rasctl.exe and test code all see and
// change the same connections. Test and demo fixture only: never shipped.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace rasstub {

constexpr DWORD kMaxConnections = 4096;
constexpr DWORD kMaxRegistrations = 64;
// The widths of the RAS fields names and addresses are copied into: RASCONN's szEntryName
// and RASPPPIP's szIpAddress (checked against <ras.h> in ras_records.h).
constexpr DWORD kEntryNameSize = 257;
constexpr DWORD kIpAddressSize = 16;

struct Connection {
    DWORD hConnection;
    BOOL bComplete; // FALSE: listed, but the IP projection is still pending
    // Both fields are stored as given: a value that fills its field has no NUL.
    CHAR szEntryName[kEntryNameSize];
    CHAR szIpAddress[kIpAddressSize];
};

// An event registered with RasConnectionNotificationA, as a handle value of its process.
struct Registration {
    DWORD dwProcessId;
    DWORD dwEvent;
    DWORD dwFlags; // RASCN_Connection | RASCN_Disconnection
    // Tells a live registrant from a later process that was given the same id.
    FILETIME ftProcessCreated;
};

// All zero: the stand-in behaves like a working RAS.
struct Faults {
    DWORD dwNotifyError;     // registration answers this
    DWORD dwProjectionError; // every projection query answers this
    DWORD dwEnumError;       // every enumeration answers this, writing no record
    // With dwEnumError ERROR_BUFFER_TOO_SMALL or ERROR_NOT_ENOUGH_MEMORY: report dwEnumSize as
    // the size needed.
    BOOL bEnumSize;
    DWORD dwEnumSize;
    BOOL bCount; // every enumeration reports dwCount connections, whatever it wrote
    DWORD dwCount;
    // Every answer "buffer too small" adds this many connections ("Late1", ...) before the
    // caller asks again, as when connections come up between the two calls of one check.
    DWORD dwGrowBy;
};

struct Counters {
    DWORD dwEnumCalls;
    DWORD dwProjectionCalls;
    DWORD dwSignals;          // events set
    LONGLONG llLastSignalQpc; // QueryPerformanceCounter just before the last event was set
    // Every change of the connections counts one; an enumeration and a projection query note
    // the count they answered from, so a test knows which state a check has seen.
    DWORD dwChanges;
    DWORD dwEnumSeen;
    DWORD dwProjectionSeen;
    // Enumerations begun, counted before the table's mutex is taken: a test that holds the
    // table sees a check arrive and wait for it.
    LONG lEnumEntered;
    LONGLONG llLastEnumQpc; // QueryPerformanceCounter when the last enumeration answered
    // dwEnumCalls when the last event was registered: a test tells from it whether a program
    // looked at the table before it would have been told of a change.
    DWORD dwEnumCallsAtRegistration;
};

struct Table {
    DWORD dwMagic;
    DWORD dwLayoutSize;
    DWORD dwNextHandle;
    Faults faults;
    Counters counters;
    DWORD dwRegistrations;
    Registration registrations[kMaxRegistrations];
    DWORD dwConnections;
    Connection connections[kMaxConnections];
};

// One process's access to the shared table. Every member that reads or writes takes the
// table's mutex; changes that RAS would report signal the registered events at once.
class CStandinTable {
public:
    CStandinTable();
    ~CStandinTable();
    CStandinTable(const CStandinTable&) = delete;
    CStandinTable& operator=(const CStandinTable&) = delete;

    bool IsOpen() const { return m_pTable != nullptr; }

    // Adds a connection (names may repeat, as two dial-ups of one entry do) and signals
    // connection events. Returns its handle, or 0 when the table is full.
    DWORD Up(const char* name, const char* ip, bool complete = true);
    // Completes the projection of the first connection of that name; signals again, as a
    // late connection event would. With signal false nothing is signalled, as real RAS,
    // which promises no event for an address that arrives after the connection was made.
    bool Complete(const char* name, bool signal = true);
    // Ends the first connection of that name and signals disconnection events.
    bool Down(const char* name);
    // Adds count complete connections named prefix1, prefix2, ... with one signal. Returns
    // how many fitted.
    DWORD UpMany(DWORD count, const char* prefix);
    // Ends every connection with one disconnection signal.
    void DownAll();
    // Forgets connections, faults and counters, and the calling process's registrations
    // (their handle values may name new events by now). Other live registrants stay.
    void Reset();

    Faults GetFaults();
    void SetFaults(const Faults& faults);
    Counters GetCounters();
    std::vector<Connection> GetConnections();
    std::vector<Registration> GetRegistrations();

    // Holds the table's mutex; for the stand-in DLL's entry points.
    class CLock {
    public:
        explicit CLock(CStandinTable& table);
        ~CLock();
        CLock(const CLock&) = delete;
        CLock& operator=(const CLock&) = delete;
        Table* operator->() const { return m_pTable; }
        Table& operator*() const { return *m_pTable; }

    private:
        CStandinTable& m_owner;
        Table* m_pTable;
    };

    // Holds the table while several changes are made and announces them with one signal at
    // the end: a check sees all of them or none, as when changes come faster than a check.
    // Batches nest; only the outermost one signals.
    class CBatch {
    public:
        explicit CBatch(CStandinTable& table);
        ~CBatch();
        CBatch(const CBatch&) = delete;
        CBatch& operator=(const CBatch&) = delete;
        // The change count so far (Counters::dwChanges).
        DWORD Changes() const { return m_lock->counters.dwChanges; }

    private:
        CStandinTable& m_owner;
        CLock m_lock;
    };

    // For the stand-in DLL: an enumeration has begun (before it takes the table's mutex).
    void NoteEnumEntered();

    // With the lock held: sets every registered event that asked for flag (a RASCN_ bit).
    static void Signal(Table& table, DWORD flag);
    // With the lock held: adds a connection without signalling; false when the table is full.
    static bool Append(Table& table, const char* name, const char* ip, bool complete);
    // With the lock held: index of the first connection named name, or -1. A name of a
    // field's full size or longer matches a field holding its first 257 bytes.
    static int Find(const Table& table, const char* name);

private:
    // With the lock held: counts a change and signals it, or keeps the signal for the end of
    // the batch.
    void Announce(Table& table, DWORD flag);

    int m_nBatchDepth = 0;
    DWORD m_dwDeferredFlags = 0;
    HANDLE m_hMutex = nullptr;
    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    HANDLE m_hMapping = nullptr;
    Table* m_pTable = nullptr;
};

// A field's text up to its NUL, or all of it when it has none.
template <size_t N> std::string FieldText(const CHAR (&field)[N]) {
    size_t length = 0;
    while (length < N && field[length] != '\0')
        ++length;
    return std::string(field, length);
}

} // namespace rasstub
