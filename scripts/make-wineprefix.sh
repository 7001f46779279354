#!/bin/sh
# Creates a fresh 32-bit Wine prefix for the project: no crash dialog, no Mono/Gecko prompts, no
# menu entries or file associations written outside the prefix (winemenubuilder off), and Wine's
# own fonts, so that caption buttons (Marlett) and dialogs (Tahoma, MS Sans Serif) look as on
# Windows. Idempotent.
set -eu
prefix="$1"
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [ ! -f "$prefix/system.reg" ]; then
  rm -rf "$prefix"
  wineboot -i >/dev/null 2>&1 || true
fi
if [ ! -f "$prefix/system.reg" ] || ! wine cmd.exe /c exit >/dev/null 2>&1; then
  echo "make-wineprefix.sh: Wine could not make or start the prefix $prefix" >&2
  echo "  (try: WINEPREFIX=$prefix wine cmd.exe /c exit)" >&2
  exit 1
fi
wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
wineserver -w
mkdir -p "$prefix/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/"
touch "$prefix/.ready"
