#include "ras_api.h"

#include "framework/system_library.h"

#include <cstdlib>
#include <cstring>

#define RAS_DEFINE_ENTRY_POINT(name, required, parameters) PFN_##name name = nullptr;
RAS_ENTRY_POINTS(RAS_DEFINE_ENTRY_POINT)
#undef RAS_DEFINE_ENTRY_POINT

namespace {

HMODULE g_hRasApi = nullptr;

// Room for ten records at first; RAS says how much more it needs.
constexpr DWORD kInitialBufferSize = 10 * sizeof(RASCONN);
// No machine has this many connections; a larger request is a broken reply.
constexpr DWORD kMaxBufferSize = 16 * 1024 * 1024;
constexpr int kMaxEnumRetries = 4;

bool IsBufferTooSmall(DWORD result) {
    return result == ERROR_BUFFER_TOO_SMALL || result == ERROR_NOT_ENOUGH_MEMORY;
}

RASCONN* AllocateRecords(DWORD size) {
    void* buffer = std::calloc(1, size);
    if (buffer != nullptr)
        static_cast<RASCONN*>(buffer)->dwSize = sizeof(RASCONN);
    return static_cast<RASCONN*>(buffer);
}

} // namespace

BOOL LoadRasApi() {
    if (g_hRasApi != nullptr)
        return TRUE;
    // By full path from the system directory: a RASAPI32.DLL planted beside the executable
    // or in the current directory is never loaded.
    g_hRasApi = LoadSystemLibrary("RASAPI32.DLL");
    if (g_hRasApi == nullptr)
        return FALSE;

    bool complete = true;
#define RAS_RESOLVE_ENTRY_POINT(name, required, parameters)                                        \
    name = GetEntryPoint<PFN_##name>(g_hRasApi, #name);                                            \
    complete = complete && (name != nullptr || !(required));
    RAS_ENTRY_POINTS(RAS_RESOLVE_ENTRY_POINT)
#undef RAS_RESOLVE_ENTRY_POINT
    if (!complete) {
        UnloadRasApi();
        return FALSE;
    }
    return TRUE;
}

void UnloadRasApi() {
    if (g_hRasApi != nullptr) {
        ::FreeLibrary(g_hRasApi);
        g_hRasApi = nullptr;
    }
#define RAS_FORGET_ENTRY_POINT(name, required, parameters) name = nullptr;
    RAS_ENTRY_POINTS(RAS_FORGET_ENTRY_POINT)
#undef RAS_FORGET_ENTRY_POINT
}

DWORD EnumRasConnections(RASCONN** list, bool* outOfMemory) {
    if (outOfMemory != nullptr)
        *outOfMemory = false;
    if (RasEnumConnectionsA == nullptr)
        return 0;

    DWORD size = kInitialBufferSize;
    DWORD count = 0;
    RASCONN* buffer = AllocateRecords(size);
    if (buffer == nullptr) {
        if (outOfMemory != nullptr)
            *outOfMemory = true;
        return 0;
    }

    DWORD allocated = size;
    DWORD result = RasEnumConnectionsA(buffer, &size, &count);
    // RAS asks for a larger buffer. A table that grew before the next call asks again, and
    // that answer holds no record: ask once more with the new size, a few times at most.
    for (int retry = 0; retry < kMaxEnumRetries && IsBufferTooSmall(result); ++retry) {
        std::free(buffer);
        // A reply too small for one record or beyond any real table is not to be trusted.
        if (size < sizeof(RASCONN) || size > kMaxBufferSize)
            return 0;
        buffer = AllocateRecords(size);
        if (buffer == nullptr) {
            if (outOfMemory != nullptr)
                *outOfMemory = true;
            return 0;
        }
        allocated = size;
        result = RasEnumConnectionsA(buffer, &size, &count);
    }
    if (IsBufferTooSmall(result))
        count = 0; // still growing: the buffer holds no record

    // Never hand out more records than the buffer holds, whatever RAS claims.
    DWORD capacity = allocated / sizeof(RASCONN);
    if (count > capacity)
        count = capacity;
    *list = buffer;
    return count;
}
