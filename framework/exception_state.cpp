// The C++ runtime asks __cxa_get_globals for the calling thread's exception state on every
// throw and catch. Its own version keeps the state in emulated thread-local storage, which
// it allocates on a thread's first use and aborts the process when it cannot; a thread whose
// first throw is std::bad_alloc then ends the program. These definitions take the place of
// the runtime's (the linker takes them before searching the runtime library): the state is
// a CThreadExceptionState in a frame of the thread's entry, found through a slot of the
// system's thread-local storage.
#include "exception_state.h"

#include <cxxabi.h>

#include <cstdlib>

namespace {

// Constant-initialized: valid however early the first exception comes.
DWORD g_dwStateSlot = TLS_OUT_OF_INDEXES;

// Taken on the main thread before any other thread exists: during static initialization
// (below), or earlier by an exception of another file's static object.
DWORD StateSlot() {
    if (g_dwStateSlot == TLS_OUT_OF_INDEXES)
        g_dwStateSlot = ::TlsAlloc();
    return g_dwStateSlot;
}
const DWORD g_dwSlotTaken = StateSlot();

// For a thread that lent no storage (a thread of the system's, or the main thread during
// static construction and destruction): the heap, and when even that fails (or the system
// had no slot), one record shared by all such threads rather than the end of the process.
void* g_lastResort[4];

void* ThreadState() {
    // Called while exceptions are thrown and caught: the caller's last error stays as it was.
    DWORD error = ::GetLastError();
    DWORD slot = StateSlot();
    void* state = slot != TLS_OUT_OF_INDEXES ? ::TlsGetValue(slot) : g_lastResort;
    if (state == nullptr) {
        state = std::calloc(1, sizeof g_lastResort);
        if (state == nullptr)
            state = g_lastResort;
        ::TlsSetValue(slot, state);
    }
    ::SetLastError(error);
    return state;
}

} // namespace

CThreadExceptionState::CThreadExceptionState() : m_pOuter(::TlsGetValue(StateSlot())) {
    ::TlsSetValue(StateSlot(), m_words);
}

CThreadExceptionState::~CThreadExceptionState() {
    ::TlsSetValue(StateSlot(), m_pOuter);
}

extern "C" __cxxabiv1::__cxa_eh_globals* __cxa_get_globals() noexcept {
    return static_cast<__cxxabiv1::__cxa_eh_globals*>(ThreadState());
}

extern "C" __cxxabiv1::__cxa_eh_globals* __cxa_get_globals_fast() noexcept {
    return static_cast<__cxxabiv1::__cxa_eh_globals*>(ThreadState());
}
