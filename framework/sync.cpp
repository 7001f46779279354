#include "sync.h"

#include "system_library.h"

namespace {

using InitWithSpinCountFn = BOOL(WINAPI*)(CRITICAL_SECTION*, DWORD);

// Asks the system each time: a handful of locks are made, all during start-up.
InitWithSpinCountFn InitWithSpinCount() {
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    // Windows 98 and ME export the function too, but the reference of their time gives it for NT
    // only, and some releases are said to return nothing (VOID; found in no documentation), so
    // their result cannot be trusted. NT 4.0 SP3 has it with no such bit documented, where the
    // whole value could end up as its spin count. Windows 95 lacks it.
    if (!::GetVersionExA(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT ||
        version.dwMajorVersion < 5)
        return nullptr;
    HMODULE kernel = ::GetModuleHandleA("KERNEL32.DLL");
    if (kernel == nullptr)
        return nullptr;
    return GetEntryPoint<InitWithSpinCountFn>(kernel, "InitializeCriticalSectionAndSpinCount");
}

} // namespace

BOOL InitializeLockWithEvent(CRITICAL_SECTION& cs) {
    const DWORD kMakeEventNow = 0x80000000;
    InitWithSpinCountFn init = InitWithSpinCount();
    if (init != nullptr && init(&cs, kMakeEventNow | kLockSpinCount))
        return TRUE;
    // FALSE from it: no memory for the event now (Windows 2000 to XP). The plain way is all
    // that is left; it may raise here, or on Windows 2000 at the first contention.
    ::InitializeCriticalSection(&cs);
    return FALSE;
}
