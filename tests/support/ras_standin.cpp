#include "ras_standin.h"

#include "ras/ras_api.h"
#include "wait.h"

#include <cstring>

#ifndef RASSTUB_DIR
#error "RASSTUB_DIR must name the rasstub folder of the build"
#endif

namespace {

// Wine's own library, kept beside it the first time a stand-in takes its place.
std::string WineBackupPath() {
    return CRasStandin::SystemLibraryPath() + ".wine";
}

// Wine marks the files of its built-in DLLs in the DOS stub.
bool IsWineLibrary(const std::string& path) {
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    char header[0x60] = {};
    DWORD read = 0;
    ::ReadFile(h, header, sizeof header, &read, nullptr);
    ::CloseHandle(h);
    static const char kMark[] = "Wine builtin DLL";
    return read == sizeof header && std::memcmp(header + 0x40, kMark, sizeof kMark - 1) == 0;
}

bool Exists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

} // namespace

CRasStandin::CRasStandin() {
    table.Reset();
}

CRasStandin::~CRasStandin() {
    Install(RasLibrary::Wine);
    table.Reset();
}

bool CRasStandin::Install(RasLibrary library) {
    UnloadRasApi();
    return Place(library);
}

bool CRasStandin::Place(RasLibrary library) {
    const std::string target = SystemLibraryPath();
    if (IsWineLibrary(target) && !Exists(WineBackupPath()) &&
        !::CopyFileA(target.c_str(), WineBackupPath().c_str(), TRUE))
        return false;

    switch (library) {
    case RasLibrary::Missing:
        return ::DeleteFileA(target.c_str()) || !Exists(target);
    case RasLibrary::Wine:
        // A prefix that never had Wine's file has nothing to put back.
        if (!Exists(WineBackupPath()))
            return ::DeleteFileA(target.c_str()) || !Exists(target);
        return ::CopyFileA(WineBackupPath().c_str(), target.c_str(), FALSE) != FALSE;
    default:
        return ::CopyFileA(BuildPath(library).c_str(), target.c_str(), FALSE) != FALSE;
    }
}

std::string CRasStandin::BuildPath(RasLibrary library) {
    switch (library) {
    case RasLibrary::Full:
        return RASSTUB_DIR "/full/rasapi32.dll";
    case RasLibrary::Poll:
        return RASSTUB_DIR "/poll/rasapi32.dll";
    case RasLibrary::NoEdit:
        return RASSTUB_DIR "/noedit/rasapi32.dll";
    default:
        return "";
    }
}

std::string CRasStandin::RasctlPath() {
    return RASSTUB_DIR "/rasctl.exe";
}

std::string CRasStandin::SystemLibraryPath() {
    char directory[MAX_PATH];
    UINT length = ::GetSystemDirectoryA(directory, MAX_PATH);
    return std::string(directory, length < MAX_PATH ? length : 0) + "\\rasapi32.dll";
}

bool CRasStandin::OverrideActive() {
    char overrides[1024];
    DWORD length = ::GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
    return length > 0 && length < sizeof overrides &&
           std::strstr(overrides, "rasapi32=n") != nullptr;
}

bool CRasStandin::Registered(DWORD processId) {
    for (const rasstub::Registration& registration : table.GetRegistrations())
        if (processId == 0 || registration.dwProcessId == processId)
            return true;
    return false;
}

bool CRasStandin::LookedSinceRegistration() {
    rasstub::Counters counters = table.GetCounters();
    return counters.dwEnumCalls > counters.dwEnumCallsAtRegistration;
}

bool CRasStandin::WaitForRegistration(DWORD processId, DWORD timeoutMs) {
    return WaitFor([&] { return Registered(processId) && LookedSinceRegistration(); }, timeoutMs);
}
