// The RAS records the stand-in reads and writes, as the platform's own <ras.h> (MinGW-w64)
// declares them, with layout checks of the stand-in's own. Nothing here comes from the
// program's ras/ras_api.h: a layout mistake there must make the tests fail, not be copied
// here. Only the stand-in's sources include this file; standin_table.h declares no RAS record,
// so tests can include it beside the program's declarations.
#pragma once

#include "standin_table.h"

#include <windows.h>

#include <ras.h>
#include <raserror.h>

#include <cstddef>

// The builds target Windows 95 and NT 4.0 (the top-level CMakeLists.txt), whose programs pass
// the records of that version: the ones answered here.
static_assert(WINVER == 0x0400 && _WIN32_WINNT == 0x0400, "records of Windows 95 and NT 4.0");

namespace rasstub {

// MinGW-w64's <ras.h> declares only the newest form of each record, whatever WINVER says. An
// older form is the newest one's beginning, up to the last field that version had, padded to
// the record's alignment; the stand-in never uses a caller's record as the newest form.
constexpr DWORD RecordSize(size_t end, size_t alignment) {
    return static_cast<DWORD>((end + alignment - 1) / alignment * alignment);
}

// RASCONNA up to szDeviceName: szPhonebook came with WINVER 0x0401.
constexpr DWORD kRasConnSize = RecordSize(offsetof(RASCONNA, szPhonebook), alignof(RASCONNA));
// RASPPPIPA up to szServerIpAddress: dwOptions came with WINVER 0x0500.
constexpr DWORD kRasPppIpSize = RecordSize(offsetof(RASPPPIPA, dwOptions), alignof(RASPPPIPA));

// The layouts as 32-bit Windows has them; built for 64-bit, the same fields would have an
// 8-byte handle, which the header's 4-byte packing leaves unaligned.
constexpr size_t kHandleSize = sizeof(HRASCONN);
static_assert(kRasConnSize == (kHandleSize == 4 ? 412 : 416), "RASCONN size");
static_assert(offsetof(RASCONNA, dwSize) == 0, "RASCONN.dwSize");
static_assert(offsetof(RASCONNA, hrasconn) == 4, "RASCONN.hrasconn");
static_assert(offsetof(RASCONNA, szEntryName) == 4 + kHandleSize, "RASCONN.szEntryName");
static_assert(offsetof(RASCONNA, szDeviceType) == 261 + kHandleSize, "RASCONN.szDeviceType");
static_assert(offsetof(RASCONNA, szDeviceName) == 278 + kHandleSize, "RASCONN.szDeviceName");
static_assert(offsetof(RASCONNA, szPhonebook) == 407 + kHandleSize, "RASCONN.szDeviceName end");
static_assert(kRasPppIpSize == 40, "RASPPPIP size");
static_assert(offsetof(RASPPPIPA, dwSize) == 0, "RASPPPIP.dwSize");
static_assert(offsetof(RASPPPIPA, dwError) == 4, "RASPPPIP.dwError");
static_assert(offsetof(RASPPPIPA, szIpAddress) == 8, "RASPPPIP.szIpAddress");
static_assert(offsetof(RASPPPIPA, szServerIpAddress) == 24, "RASPPPIP.szServerIpAddress");
static_assert(offsetof(RASPPPIPA, dwOptions) == 40, "RASPPPIP.szServerIpAddress end");

// The table keeps names and addresses at the widths of the fields they are copied into.
static_assert(kEntryNameSize == RAS_MaxEntryName + 1, "entry name field");
static_assert(kIpAddressSize == RAS_MaxIpAddress + 1, "IP address field");

} // namespace rasstub
