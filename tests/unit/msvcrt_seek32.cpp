// Windows' msvcrt, as far as positioning a stream goes. The unit tests are linked with
// --wrap=fseek. Wine's msvcrt seeks with 64 bits (_lseeki64); Windows' calls SetFilePointer
// without the high part, so there a seek to an end that does not fit in 32 bits fails, and
// an end of exactly 4 GiB - 1 (0xFFFFFFFF, which is -1 as a long) reads as a failure. With
// this stand-in a test under Wine sees what a user on Windows sees.
#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <io.h>

extern "C" int __real_fseek(FILE* stream, long offset, int origin);

extern "C" int __wrap_fseek(FILE* stream, long offset, int origin) {
    // Only ends are known to reach that far here: the positions the tests start from fit.
    if (origin == SEEK_END) {
        std::fflush(stream); // as msvcrt does before it positions
        HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
        DWORD high = 0;
        ::SetLastError(NO_ERROR);
        DWORD low = ::GetFileSize(h, &high);
        if (low != INVALID_FILE_SIZE || ::GetLastError() == NO_ERROR) {
            long long target = static_cast<long long>((ULONGLONG{high} << 32) | low) + offset;
            if (target >= 0xFFFFFFFFLL) {
                ::SetLastError(ERROR_INVALID_PARAMETER);
                errno = EINVAL;
                return -1;
            }
        }
    }
    return __real_fseek(stream, offset, origin);
}
