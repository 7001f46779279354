// The Remote Access Service library, loaded at run time so that the program also starts
// where dial-up networking is not installed, and the two RAS records the program reads.
#pragma once

#include <windows.h>

// The platform's RAS error codes (ERROR_BUFFER_TOO_SMALL, ...): names only, no record.
#include <raserror.h>

#include <cstddef>

// This program's own record layouts: the ANSI forms of Windows 95 and NT 4.0, which every
// later RAS still accepts. The newer layouts of current SDK headers are larger.
typedef HANDLE HRASCONN;

constexpr DWORD kRasMaxEntryName = 256;
constexpr DWORD kRasMaxDeviceType = 16;
constexpr DWORD kRasMaxDeviceName = 128;
constexpr DWORD kRasMaxIpAddress = 15;

#pragma pack(push, 4)
struct RASCONN {
    DWORD dwSize;
    HRASCONN hrasconn;
    CHAR szEntryName[kRasMaxEntryName + 1];
    CHAR szDeviceType[kRasMaxDeviceType + 1];
    CHAR szDeviceName[kRasMaxDeviceName + 1];
};

struct RASPPPIP {
    DWORD dwSize;
    DWORD dwError;
    CHAR szIpAddress[kRasMaxIpAddress + 1];
    CHAR szServerIpAddress[kRasMaxIpAddress + 1];
};
#pragma pack(pop)

// The 32-bit layout is the product's; built for 64-bit, the same fields would have an 8-byte
// handle, as the platform's 4-byte packing has it.
constexpr size_t kHandleSize = sizeof(HRASCONN);
static_assert(sizeof(RASCONN) == (kHandleSize == 4 ? 412 : 416), "RASCONN size");
static_assert(offsetof(RASCONN, dwSize) == 0, "RASCONN.dwSize");
static_assert(offsetof(RASCONN, hrasconn) == 4, "RASCONN.hrasconn");
static_assert(offsetof(RASCONN, szEntryName) == 4 + kHandleSize, "RASCONN.szEntryName");
static_assert(offsetof(RASCONN, szDeviceType) == 261 + kHandleSize, "RASCONN.szDeviceType");
static_assert(offsetof(RASCONN, szDeviceName) == 278 + kHandleSize, "RASCONN.szDeviceName");
static_assert(sizeof(RASPPPIP) == 40, "RASPPPIP is 40 bytes");
static_assert(offsetof(RASPPPIP, dwError) == 4, "RASPPPIP.dwError");
static_assert(offsetof(RASPPPIP, szIpAddress) == 8, "RASPPPIP.szIpAddress");
static_assert(offsetof(RASPPPIP, szServerIpAddress) == 24, "RASPPPIP.szServerIpAddress");

constexpr DWORD RASP_PppIp = 0x8021;
constexpr DWORD RASCN_Connection = 0x00000001;
constexpr DWORD RASCN_Disconnection = 0x00000002;

// The entry points, with the platform's documented arguments, each declared, defined and
// resolved from this one list, in its order: X(name, required, parameters). Each returns 0 on
// success and a RAS error code otherwise. Without a required one the library is not used;
// without RasConnectionNotificationA the program polls.
#define RAS_ENTRY_POINTS(X)                                                                        \
    X(RasGetProjectionInfoA, true, (HRASCONN, DWORD projection, void* info, DWORD* size))          \
    X(RasEnumConnectionsA, true, (RASCONN * connections, DWORD * size, DWORD * count))             \
    X(RasEnumEntriesA, true,                                                                       \
      (const char* reserved, const char* phoneBook, void* entries, DWORD* size, DWORD* count))     \
    X(RasEditPhonebookEntryA, true, (HWND, const char* phoneBook, const char* entryName))          \
    X(RasConnectionNotificationA, false, (HRASCONN, HANDLE event, DWORD flags))                    \
    X(RasGetEntryPropertiesA, false,                                                               \
      (const char* phoneBook, const char* entryName, void* entry, DWORD* entrySize,                \
       BYTE* deviceInfo, DWORD* deviceInfoSize))

#define RAS_DECLARE_ENTRY_POINT(name, required, parameters)                                        \
    typedef DWORD(WINAPI* PFN_##name) parameters;                                                  \
    extern PFN_##name name;
RAS_ENTRY_POINTS(RAS_DECLARE_ENTRY_POINT)
#undef RAS_DECLARE_ENTRY_POINT

// TRUE when the library is loaded and the four required entry points are present. A failed
// load leaves nothing loaded, so the next call tries again.
BOOL LoadRasApi();
// Releases the library and forgets every entry point.
void UnloadRasApi();
// Enumerates the active connections into a new buffer (freed by the caller with free) and
// returns how many records it holds. *list stays as it was when no buffer could be had; then
// *outOfMemory (when given) tells an allocation that failed from a reply not to be trusted.
DWORD EnumRasConnections(RASCONN** list, bool* outOfMemory = nullptr);
