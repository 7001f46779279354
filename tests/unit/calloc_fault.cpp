#include "calloc_fault.h"

#include <windows.h>

#include <atomic>
#include <cstddef>

extern "C" void* __real_calloc(size_t count, size_t size);

namespace {

// The thread that armed the failure, 0 while none is armed.
std::atomic<DWORD> g_armedBy{0};
std::atomic<long> g_failures{0};

} // namespace

extern "C" void* __wrap_calloc(size_t count, size_t size) {
    DWORD armedBy = g_armedBy.load();
    if (armedBy != 0 && armedBy != ::GetCurrentThreadId() &&
        g_armedBy.compare_exchange_strong(armedBy, 0)) {
        ++g_failures;
        return nullptr;
    }
    return __real_calloc(count, size);
}

CCallocFault::~CCallocFault() {
    g_armedBy = 0;
}

void CCallocFault::FailNextOnAnotherThread() {
    g_armedBy = ::GetCurrentThreadId();
}

long CCallocFault::Failures() const {
    return Total() - m_nFailuresBefore;
}

long CCallocFault::Total() {
    return g_failures.load();
}
