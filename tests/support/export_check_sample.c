/* A DLL and its caller in one: the export check's own example. Built without --kill-at, the
   WINAPI export keeps its 32-bit decoration (SampleExport@4); either way, the caller also
   resolves a name the DLL never exports. */
#include <windows.h>

__declspec(dllexport) int WINAPI SampleExport(int value) {
    return value + 1;
}

__declspec(dllexport) FARPROC SampleLookUp(HMODULE module, int missing) {
    return missing ? GetProcAddress(module, "SampleMissing")
                   : GetProcAddress(module, "SampleExport");
}
