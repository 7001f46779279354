// Allocation faults for a test build of the program (never the shipped one): every
// operator new and every calloc is counted, and the one whose number the test sets fails, or
// (a shortage that lasts) that one and every one after it until the test disarms the fault.
// The counter and the number live in a named file mapping that the test creates and names
// in LINKVIGIL_ALLOC_FAULTS before it starts the program, so the test can read how many
// allocations a path made and arm the next failure while the program runs.
//
// The same block tells the test when the program is idle again, so that a run ends as soon
// as a path that a fault cut short is over, not after a time-out: the GUI thread notes each
// ping it takes from its queue (a hook of its own), and the monitor thread's waits, its
// beginning and its end are noted through the program's import slots. Neither adds an
// allocation: the numbers the test arms are those of the program alone.
#include "alloc_faults.h"

#include "connection/connection.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <new>

extern "C" void* __real_calloc(size_t count, size_t size);

namespace {

AllocFaultControl g_localControl; // used when no test named a mapping

AllocFaultControl* Control() {
    static AllocFaultControl* control = nullptr;
    if (control == nullptr) {
        // No heap here: this runs inside the first allocation.
        char name[128];
        DWORD length = ::GetEnvironmentVariableA(kAllocFaultsVariable, name, sizeof name);
        void* view = nullptr;
        if (length > 0 && length < sizeof name) {
            HANDLE mapping = ::OpenFileMappingA(FILE_MAP_ALL_ACCESS, FALSE, name);
            if (mapping != nullptr)
                view =
                    ::MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, sizeof(AllocFaultControl));
        }
        control = view != nullptr ? static_cast<AllocFaultControl*>(view) : &g_localControl;
    }
    return control;
}

// TRUE when this allocation is to fail.
bool NextAllocationFails() {
    AllocFaultControl* control = Control();
    LONG number = ::InterlockedIncrement(&control->allocations);
    LONG failAt = control->failAt;
    if (failAt == 0 || number < failAt || (number > failAt && control->lasting == 0))
        return false;
    ::InterlockedIncrement(&control->failures);
    return true;
}

void* Allocate(size_t size) {
    if (NextAllocationFails())
        return nullptr;
    return std::malloc(size != 0 ? size : 1);
}

// --- What the threads do ---

void NoteMonitor(LONG waits, LONG activity) {
    ::InterlockedExchange(&Control()->monitor, static_cast<LONG>((static_cast<ULONG>(waits) << 2) |
                                                                 static_cast<ULONG>(activity)));
}

LONG MonitorWaits() {
    return MonitorWaitsOf(Control()->monitor);
}

using WaitForMultipleObjectsFn = decltype(&::WaitForMultipleObjects);
using WaitForSingleObjectFn = decltype(&::WaitForSingleObject);
using ThreadProc = unsigned(__stdcall*)(void*);
using BeginThreadFn = uintptr_t(__cdecl*)(void*, unsigned, ThreadProc, void*, unsigned, unsigned*);
WaitForMultipleObjectsFn g_realWaitForMultipleObjects = nullptr;
WaitForSingleObjectFn g_realWaitForSingleObject = nullptr;
BeginThreadFn g_realBeginThread = nullptr;

bool IncludesStopEvent(DWORD count, const HANDLE* handles) {
    for (DWORD i = 0; i < count; ++i)
        if (handles[i] != nullptr && handles[i] == g_hStopEvent)
            return true;
    return false;
}

// The monitor thread's wait (the one that includes the stop event). The new wait is counted
// before the look at what is already signalled: a test that saw this count rise after its own
// signal knows the look came after that signal, so the signal was taken and checked by then.
// A wait that would return at once is never shown as waiting.
template <typename Wait> DWORD MonitorWait(DWORD timeout, Wait wait) {
    LONG waits = MonitorWaits() + 1;
    NoteMonitor(waits, kMonitorBusy);
    DWORD woken = wait(0);
    if (woken != WAIT_TIMEOUT || timeout == 0)
        return woken;
    NoteMonitor(waits, timeout == INFINITE ? kMonitorWaiting : kMonitorWaitingTimed);
    woken = wait(timeout);
    NoteMonitor(waits, kMonitorBusy);
    return woken;
}

DWORD WINAPI RecordWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL all,
                                          DWORD timeout) {
    if (all || !IncludesStopEvent(count, handles))
        return g_realWaitForMultipleObjects(count, handles, all, timeout);
    return MonitorWait(
        timeout, [&](DWORD ms) { return g_realWaitForMultipleObjects(count, handles, FALSE, ms); });
}

DWORD WINAPI RecordWaitForSingleObject(HANDLE handle, DWORD timeout) {
    if (!IncludesStopEvent(1, &handle))
        return g_realWaitForSingleObject(handle, timeout);
    return MonitorWait(timeout, [&](DWORD ms) { return g_realWaitForSingleObject(handle, ms); });
}

// The program begins one thread, the monitor thread, and no second while it runs. Its start
// is noted before the thread exists (the caller's handler has not returned yet), its end when
// its procedure returns, before the stopping thread's wait for it can end.
struct ThreadStart {
    ThreadProc proc;
    void* param;
};

unsigned __stdcall RecordedThread(void* param) {
    ThreadStart start = *static_cast<ThreadStart*>(param);
    ::HeapFree(::GetProcessHeap(), 0, param);
    unsigned exitCode = start.proc(start.param);
    NoteMonitor(MonitorWaits(), kMonitorNone);
    return exitCode;
}

uintptr_t __cdecl RecordBeginThread(void* security, unsigned stackSize, ThreadProc proc,
                                    void* param, unsigned flags, unsigned* threadId) {
    // From the system's heap, which the program's allocations do not count.
    auto* start =
        static_cast<ThreadStart*>(::HeapAlloc(::GetProcessHeap(), 0, sizeof(ThreadStart)));
    if (start == nullptr)
        return g_realBeginThread(security, stackSize, proc, param, flags, threadId);
    *start = {proc, param};
    LONG before = Control()->monitor;
    NoteMonitor(MonitorWaitsOf(before), kMonitorBusy);
    uintptr_t thread =
        g_realBeginThread(security, stackSize, &RecordedThread, start, flags, threadId);
    if (thread == 0) {
        ::HeapFree(::GetProcessHeap(), 0, start);
        ::InterlockedExchange(&Control()->monitor, before);
    }
    return thread;
}

UINT g_pingMessage = 0;

LRESULT CALLBACK NotePing(int code, WPARAM removed, LPARAM lParam) {
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    if (code == HC_ACTION && (removed & PM_REMOVE) != 0 && g_pingMessage != 0 &&
        message->message == g_pingMessage)
        ::InterlockedExchange(&Control()->pingTaken, static_cast<LONG>(message->wParam));
    return ::CallNextHookEx(nullptr, code, removed, lParam);
}

// Points the main module's import slot for dll!name at replacement; returns what it held.
template <typename Function>
Function ReplaceImport(const char* dll, const char* name, Function replacement) {
    BYTE* base = reinterpret_cast<BYTE*>(::GetModuleHandleA(nullptr));
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (directory.VirtualAddress == 0)
        return nullptr;
    for (auto* imports =
             reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         imports->Name != 0; ++imports) {
        if (::lstrcmpiA(reinterpret_cast<const char*>(base + imports->Name), dll) != 0 ||
            imports->OriginalFirstThunk == 0)
            continue;
        auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imports->OriginalFirstThunk);
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imports->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) != 0)
                continue;
            DWORD protection = 0;
            if (!::VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE,
                                  &protection))
                return nullptr;
            auto original = reinterpret_cast<Function>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<DWORD_PTR>(replacement);
            ::VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, protection,
                             &protection);
            return original;
        }
    }
    return nullptr;
}

// Before WinMain, on the thread that becomes the GUI thread.
struct CActivityRecorder {
    CActivityRecorder() {
        Control();
        g_realWaitForMultipleObjects =
            ReplaceImport("kernel32.dll", "WaitForMultipleObjects", &RecordWaitForMultipleObjects);
        g_realWaitForSingleObject =
            ReplaceImport("kernel32.dll", "WaitForSingleObject", &RecordWaitForSingleObject);
        g_realBeginThread = ReplaceImport("msvcrt.dll", "_beginthreadex", &RecordBeginThread);
        g_pingMessage = ::RegisterWindowMessageA(kAllocFaultsPingMessage);
        ::SetWindowsHookExA(WH_GETMESSAGE, NotePing, nullptr, ::GetCurrentThreadId());
    }
} g_activityRecorder;

} // namespace

void* operator new(size_t size) {
    if (void* p = Allocate(size))
        return p;
    throw std::bad_alloc();
}

void* operator new[](size_t size) {
    return operator new(size);
}

void* operator new(size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}

void* operator new[](size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}

void operator delete(void* p) noexcept {
    std::free(p);
}

void operator delete[](void* p) noexcept {
    std::free(p);
}

void operator delete(void* p, size_t) noexcept {
    std::free(p);
}

void operator delete[](void* p, size_t) noexcept {
    std::free(p);
}

extern "C" void* __wrap_calloc(size_t count, size_t size) {
    if (NextAllocationFails())
        return nullptr;
    return __real_calloc(count, size);
}
