// Run by version_test.cpp under the Windows version that Wine shows it (its AppDefaults key):
// reports, one "name value" line each, what of the framework's locks and the C++ runtime's
// depends on that version, then "done". The program's own locks and threads, nothing else.
#include "framework/handle.h"
#include "framework/sync.h"
#include "framework/thread.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace {

// TRUE when this program imports name from dll: read from its own import directory, so that
// nothing here refers to the slot itself (which would link the framework's in by itself).
bool Imports(const char* dll, const char* name) {
    auto* base = reinterpret_cast<const BYTE*>(::GetModuleHandleA(nullptr));
    auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& directory =
        nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    auto* import =
        reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
    for (; import->Name != 0; ++import) {
        if (::lstrcmpiA(reinterpret_cast<const char*>(base + import->Name), dll) != 0)
            continue;
        auto* thunk = reinterpret_cast<const IMAGE_THUNK_DATA*>(
            base +
            (import->OriginalFirstThunk != 0 ? import->OriginalFirstThunk : import->FirstThunk));
        for (; thunk->u1.AddressOfData != 0; ++thunk) {
            if (IMAGE_SNAP_BY_ORDINAL(thunk->u1.Ordinal))
                continue;
            auto* byName =
                reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + thunk->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), name) == 0)
                return true;
        }
    }
    return false;
}

constexpr int kThrowsPerThread = 200;

struct CThrower {
    HANDLE go;
    char tag[16];
    int caught = 0;
};

// Waits for the start, then throws and catches: both threads' first throws come at once, and
// they are the process's first.
UINT __cdecl ThrowAndCatch(void* param) {
    auto* thrower = static_cast<CThrower*>(param);
    ::WaitForSingleObject(thrower->go, INFINITE);
    for (int i = 0; i < kThrowsPerThread; ++i) {
        try {
            throw std::runtime_error(thrower->tag);
        } catch (const std::runtime_error& error) {
            if (std::strcmp(error.what(), thrower->tag) == 0)
                ++thrower->caught;
        }
    }
    return 0;
}

int ThrowOnTwoThreadsAtOnce() {
    CHandle go(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    CThrower throwers[2] = {{go.Get(), "first"}, {go.Get(), "second"}};
    CWorkerThread* threads[2] = {};
    for (int i = 0; i < 2; ++i) {
        threads[i] = CWorkerThread::Begin(ThrowAndCatch, &throwers[i], 0, 0, CREATE_SUSPENDED);
        if (threads[i] == nullptr)
            return -1;
        threads[i]->m_bAutoDelete = FALSE;
        threads[i]->ResumeThread();
    }
    ::Sleep(50); // both waiting on the event
    ::SetEvent(go.Get());
    for (CWorkerThread* thread : threads) {
        ::WaitForSingleObject(thread->m_hThread, INFINITE);
        delete thread;
    }
    return throwers[0].caught + throwers[1].caught;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    FILE* report = std::fopen(argv[1], "w");
    if (report == nullptr)
        return 2;

    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    ::GetVersionExA(&version);
    std::fprintf(report, "platform %lu\nmajor %lu\n", version.dwPlatformId, version.dwMajorVersion);

    CRITICAL_SECTION cs;
    std::memset(&cs, 0xbd, sizeof cs);
    BOOL made = InitializeLockWithEvent(cs);
    std::fprintf(report, "lock_event_made %d\nlock_spin_count %lu\n", made,
                 static_cast<unsigned long>(cs.SpinCount));
    ::DeleteCriticalSection(&cs);
    CCriticalSection lock;
    std::fprintf(report, "class_event_made %d\n", lock.EventMade());

    // Linked as the program is: the C++ runtime's mutexes must not come from the wide stub.
    std::fprintf(report, "imports_wide_semaphore %d\n",
                 Imports("KERNEL32.DLL", "CreateSemaphoreW") ? 1 : 0);
    std::fprintf(report, "imports_ansi_semaphore %d\n",
                 Imports("KERNEL32.DLL", "CreateSemaphoreA") ? 1 : 0);
    std::fflush(report);

    std::fprintf(report, "caught %d of %d\n", ThrowOnTwoThreadsAtOnce(), 2 * kThrowsPerThread);
    std::fputs("done\n", report);
    std::fclose(report);
    return 0;
}
