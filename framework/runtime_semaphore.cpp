// The C++ runtime's own locks on the Windows 9x family. libgcc makes each of its mutexes (the
// unwinder's table of frame data, which every throw searches; libstdc++'s emergency exception
// pool and its lock for function-local statics) with CreateSemaphoreW, which Windows 95/98/ME
// export only as a stub that fails. The mutex is then left without its semaphore: a thread
// that finds it held does not wait but goes on unlocked. Two threads throwing the process's
// first exceptions at once then race in the unwinder (one of them finds no frame data and the
// process ends in terminate), and a second thread on the emergency pool or a static's
// initialisation throws __concurrence_lock_error. The runtime calls the function through its
// import slot, __imp__CreateSemaphoreW@16, even where the mutex code is inlined (the unwinder),
// so that slot is defined here, and the import library's is never linked (nor imported):
// unnamed semaphores come from CreateSemaphoreA, which every Windows has.
// Wine's CreateSemaphoreW works whatever version it reports: no test here can show the stub.
#include "system_library.h"

#include <windows.h>

namespace {

HANDLE WINAPI CreateRuntimeSemaphore(LPSECURITY_ATTRIBUTES attributes, LONG initial, LONG maximum,
                                     LPCWSTR name) {
    if (name == nullptr) // the runtime's are all unnamed
        return ::CreateSemaphoreA(attributes, initial, maximum, nullptr);
    using CreateSemaphoreWFn = HANDLE(WINAPI*)(LPSECURITY_ATTRIBUTES, LONG, LONG, LPCWSTR);
    HMODULE kernel = ::GetModuleHandleA("KERNEL32.DLL");
    auto wide =
        kernel != nullptr ? GetEntryPoint<CreateSemaphoreWFn>(kernel, "CreateSemaphoreW") : nullptr;
    if (wide == nullptr) {
        ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
        return nullptr;
    }
    return wide(attributes, initial, maximum, name);
}

using RuntimeSemaphoreFn = decltype(&CreateRuntimeSemaphore);

} // namespace

// Linked into every program by -u (CMakeLists.txt): the reference comes from libgcc, after
// this library was searched.
extern "C" {
extern const RuntimeSemaphoreFn g_pCreateRuntimeSemaphore __asm__("__imp__CreateSemaphoreW@16");
const RuntimeSemaphoreFn g_pCreateRuntimeSemaphore = CreateRuntimeSemaphore;
}
