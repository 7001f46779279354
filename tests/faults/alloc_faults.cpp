// Allocation faults for a test build of the program (never the shipped one): every
// operator new and every calloc is counted, and the one whose number the test sets fails, or
// (a shortage that lasts) that one and every one after it until the test disarms the fault.
// The counter and the number live in a named file mapping that the test creates and names
// in LINKVIGIL_ALLOC_FAULTS before it starts the program, so the test can read how many
// allocations a path made and arm the next failure while the program runs.
#include "alloc_faults.h"

#include <windows.h>

#include <cstdlib>
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
