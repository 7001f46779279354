#!/usr/bin/env bash
# Fails when an executable imports a DLL other than the system's own, or a function that
# Windows 95/98/ME or NT 4.0 lack: such an import stops the program from loading there.
set -euo pipefail
exe="$1"
objdump="${OBJDUMP:-i686-w64-mingw32-objdump}"

allowed_dlls='^(KERNEL32|USER32|GDI32|ADVAPI32|COMCTL32|MSVCRT)\.DLL$'

# Missing on 95 and/or NT 4.0 (kernel, user), or absent from their msvcrt.dll.
forbidden='GetTickCount64 AddVectoredExceptionHandler RemoveVectoredExceptionHandler
TryEnterCriticalSection IsDebuggerPresent InitializeCriticalSectionAndSpinCount
GetHandleInformation SetHandleInformation SwitchToThread SignalObjectAndWait
GetFileAttributesExA GetFileAttributesExW GetFileSizeEx SetFilePointerEx GetLongPathNameA
InterlockedCompareExchange InterlockedCompareExchange64 IsProcessorFeaturePresent
EncodePointer DecodePointer GetModuleHandleExA GetModuleHandleExW FlsAlloc FlsGetValue
FlsSetValue FlsFree InitializeSRWLock AcquireSRWLockExclusive ReleaseSRWLockExclusive
AcquireSRWLockShared ReleaseSRWLockShared TryAcquireSRWLockExclusive
InitializeConditionVariable SleepConditionVariableCS SleepConditionVariableSRW
WakeConditionVariable WakeAllConditionVariable GetAncestor SetLayeredWindowAttributes
CreateWaitableTimerA SetWaitableTimer QueueUserAPC GlobalMemoryStatusEx GetVersionExW
CreateEventExA CreateEventExW GetSystemTimePreciseAsFileTime GetNativeSystemInfo
_time64 _localtime64 _gmtime64 _mktime64 _ctime64 _difftime64 _ftime64 _futime64
_fstat64 _stat64 _wstat64 _findfirst64 _findnext64 _fseeki64 _ftelli64 _vscprintf
_vscwprintf _aligned_malloc _aligned_free _aligned_realloc _strtoi64 _strtoui64
___lc_codepage_func ___mb_cur_max_func __lc_codepage _get_output_format
_set_invalid_parameter_handler _set_abort_behavior _get_errno _set_errno strnlen wcsnlen
_localtime32 _time32 _gmtime32 _mktime32 _ctime32 _configthreadlocale _create_locale
_free_locale __acrt_iob_func __stdio_common_vsprintf'

imports=$("$objdump" -p "$exe" | awk '
  /DLL Name:/ { dll = toupper($3); print "DLL " dll; next }
  /^\t[0-9a-f]+\t *[0-9]+  / { if (dll != "") print "FN " dll " " $3 }
  /^$/ { }')

status=0
while read -r kind a b; do
  case "$kind" in
    DLL) [[ "$a" =~ $allowed_dlls ]] || { echo "not a system DLL: $a"; status=1; } ;;
    FN) for f in $forbidden; do
          [ "$b" = "$f" ] && { echo "missing on Windows 95/98/ME or NT 4.0: $a!$b"; status=1; }
        done ;;
  esac
done <<< "$imports"

count=$(grep -c '^FN ' <<< "$imports" || true)
if [ "$count" -eq 0 ]; then
  echo "no imports found in $exe: cannot check"
  exit 1
fi
[ $status -eq 0 ] && echo "$count imports from system DLLs, none missing on the oldest supported Windows"
exit $status
