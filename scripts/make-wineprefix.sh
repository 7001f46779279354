#!/bin/sh
# Creates a fresh 32-bit Wine prefix for the tests: no crash dialog, no Mono/Gecko prompts.
set -eu
prefix="$1"
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/system.reg" ]; then
  rm -rf "$prefix"
  wineboot -i >/dev/null 2>&1 || true
fi
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wineserver -w
touch "$prefix/.ready"
