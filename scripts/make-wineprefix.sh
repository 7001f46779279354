#!/bin/sh
# Creates a fresh Wine prefix for the tests: no crash dialog, no Mono/Gecko prompts.
# Usage: make-wineprefix.sh PREFIX [win32|win64]
set -eu
prefix="$1"
arch="${2:-win32}"
loader=/usr/lib/wine/wine
[ "$arch" = win64 ] && loader=/usr/lib/wine/wine64
export WINEPREFIX="$prefix" WINEARCH="$arch" WINELOADER="$loader" WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ ! -f "$prefix/system.reg" ]; then
  rm -rf "$prefix"
  "$loader" wineboot.exe -i >/dev/null 2>&1 || true
fi
"$loader" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 ||
  { echo "make-wineprefix.sh: Wine cannot run in $prefix ($arch)" >&2; exit 1; }
wineserver -w
[ -f "$prefix/system.reg" ] || { echo "make-wineprefix.sh: wineboot made no prefix in $prefix" >&2; exit 1; }
touch "$prefix/.ready"
