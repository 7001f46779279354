#!/bin/sh
# Creates a fresh Wine prefix for the project, in the environment of scripts/wine-env.sh: no
# crash dialog, and Wine's own fonts, so that caption buttons (Marlett) and dialogs (Tahoma,
# MS Sans Serif) look as on Windows. Idempotent; fails loudly when Wine cannot make or start
# the prefix. Usage: make-wineprefix.sh PREFIX
set -eu
prefix="$1"
. "$(dirname "$0")/wine-env.sh"
wine_use "$prefix"
loader="$WINELOADER"
if [ ! -f "$prefix/system.reg" ]; then
  rm -rf "$prefix"
  "$loader" wineboot.exe -i >/dev/null 2>&1 || true
fi
if ! "$loader" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
     >/dev/null 2>&1; then
  echo "make-wineprefix.sh: Wine could not make or start the prefix $prefix" >&2
  echo "  (try: WINEPREFIX=$prefix WINEARCH=win32 $loader cmd.exe /c exit)" >&2
  exit 1
fi
wineserver -w
[ -f "$prefix/system.reg" ] || { echo "make-wineprefix.sh: wineboot made no prefix in $prefix" >&2; exit 1; }
mkdir -p "$prefix/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/"
touch "$prefix/.ready"
