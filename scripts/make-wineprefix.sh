#!/bin/sh
# Creates a fresh Wine prefix for the project, in the environment of scripts/wine-env.sh: no
# crash dialog, and Wine's own fonts, so that caption buttons (Marlett) and dialogs (Tahoma,
# MS Sans Serif) look as on Windows. Idempotent; fails loudly when Wine cannot make or start
# the prefix. Usage: make-wineprefix.sh [--for-tests] [--from TEMPLATE] PREFIX [COPY...]
#   --for-tests  the tests' prefixes, on a virtual display that no window manager looks after:
#                Wine hands no window to one either ("Managed"=N). Wine waits up to 2 s for a
#                window manager to confirm that a window it manages was hidden; with none,
#                every close and every message box taken down cost those 2 s. And a
#                temporary folder whose path does not depend on the user's name (Wine names
#                the profile folder after $USER, in letters that the ANSI code page a test
#                runs under may lack).
#   --from TEMPLATE  a missing PREFIX is a copy of TEMPLATE, a prefix this script made with
#                the same settings (another build's), rather than made anew
#   COPY...      further prefixes of the same kind, made as copies of PREFIX
# LINKVIGIL_TEMPLATE_MAKER: the id of a process that makes TEMPLATE (scripts/test.sh's build of
# the first tree): while it runs, a TEMPLATE not yet ready is waited for, not made anew.
set -eu
settings=
template=
while [ $# -gt 0 ]; do
  case "$1" in
    --for-tests) settings=tests; shift ;;
    --from) template="$2"; shift 2 ;;
    *) break ;;
  esac
done
prefix="$1"
shift
. "$(dirname "$0")/wine-env.sh"

# A copy is a prefix of its own: its server, registry and system folder are apart from the
# original's (the server goes by the folder it serves). Only a prefix whose server has ended
# is copied, so that its registry is on disk: one still in use (a server kept up by a run
# that goes on, or one left behind) is not waited for. Made under another name and renamed,
# so that a copy cut short is never taken for a finished one.
copy_prefix() {
  (wine_use "$1" && timeout 60 wineserver -w) || return 1
  rm -rf "$2" "$2.making"
  cp -a "$1" "$2.making"
  mv "$2.making" "$2"
}

if [ -n "$template" ] && [ ! -f "$prefix/.ready" ]; then
  while [ ! -f "$template/.ready" ] && [ -n "${LINKVIGIL_TEMPLATE_MAKER:-}" ] &&
        kill -0 "$LINKVIGIL_TEMPLATE_MAKER" 2>/dev/null; do
    sleep 0.5
  done
fi
if [ -n "$template" ] && [ ! -f "$prefix/.ready" ] && [ -f "$template/.ready" ] &&
   copy_prefix "$template" "$prefix"; then
  :
else
  wine_use "$prefix"
  loader="$WINELOADER"
  # Not to be copied while it changes (scripts/test.sh copies a tree's first prefix as soon
  # as it is ready).
  rm -f "$prefix/.ready"
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
  if [ "$settings" = tests ]; then
    "$loader" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    for variable in TEMP TMP; do
      "$loader" reg add 'HKCU\Environment' /v $variable /t REG_SZ /d 'C:\windows\temp' /f \
        >/dev/null 2>&1
    done
  fi
  wineserver -w
  [ -f "$prefix/system.reg" ] || { echo "make-wineprefix.sh: wineboot made no prefix in $prefix" >&2; exit 1; }
  mkdir -p "$prefix/drive_c/windows/Fonts"
  cp /usr/share/wine/fonts/* "$prefix/drive_c/windows/Fonts/"
  touch "$prefix/.ready"
fi

for copy in "$@"; do
  copy_prefix "$prefix" "$copy" || { echo "make-wineprefix.sh: $prefix is still in use" >&2; exit 1; }
done
