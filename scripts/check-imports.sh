#!/usr/bin/env bash
# Fails when an executable imports anything not on the reviewed import list
# (scripts/imports-allowed.txt, or $IMPORTS_ALLOWED): each entry there was checked to exist on
# Windows 95/98/ME and NT 4.0, and an import that a system lacks stops the program from loading
# there at all. Functions known to be missing there are named as such, even if listed.
set -euo pipefail
exe="$1"
objdump="${OBJDUMP:-i686-w64-mingw32-objdump}"
allowed_file="${IMPORTS_ALLOWED:-$(dirname "$0")/imports-allowed.txt}"

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

[ -r "$allowed_file" ] || { echo "cannot read the import list $allowed_file"; exit 1; }
# "DLL FUNCTION" pairs, DLL names in capitals; comments and blank lines dropped.
allowed=$(sed -e 's/#.*//' "$allowed_file" | awk 'NF == 2 { print toupper($1), $2 }' | sort -u)

imports=$("$objdump" -p "$exe" | awk '
  /DLL Name:/ { dll = toupper($3); next }
  /^\t[0-9a-f]+\t *[0-9]+  / { if (dll != "") print dll, $3 }' | sort -u)

if [ -z "$imports" ]; then
  echo "no imports found in $exe: cannot check"
  exit 1
fi

status=0
while read -r dll fn; do
  for f in $forbidden; do
    if [ "$fn" = "$f" ]; then
      echo "missing on Windows 95/98/ME or NT 4.0: $dll!$fn"
      status=1
      continue 2
    fi
  done
  if ! grep -qxF "$dll $fn" <<< "$allowed"; then
    echo "not on the reviewed import list: $dll!$fn"
    echo "  Check in the platform documentation that Windows 95 and Windows NT 4.0 both export"
    echo "  it from $dll; then add the line \"$dll $fn\" to $allowed_file."
    echo "  If either lacks it, call it through GetProcAddress instead, or avoid it."
    status=1
  fi
done <<< "$imports"

count=$(wc -l <<< "$imports")
[ $status -eq 0 ] && echo "$count imports, all on the reviewed list for Windows 95/98/ME and NT 4.0"
exit $status
