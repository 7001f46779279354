# The one Wine environment of the project, sourced by every script that runs Wine, by the
# tests' wrapper (<build>/wine-run) and by the run command.
#
# Which Windows build this machine can run: some kernels run no 32-bit program at all
# (32-bit emulation switched off), and so no 32-bit Wine; there the same sources are built
# for 64-bit Windows and run under 64-bit Wine, while the product stays the 32-bit build.
#   LINKVIGIL_ARCH  win32 or win64 (set it to choose)
#   WINE_LOADER     the Wine loader for that architecture
#   wine_arch_note  prints why a 64-bit build is used
#   wine_build_dir ROOT  the build folder that runs here ($BUILD_DIR when set)
#   wine_use PREFIX exports the settings every Wine process of ours runs with (below)
if [ -z "${LINKVIGIL_ARCH:-}" ]; then
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    LINKVIGIL_ARCH=win32
  else
    LINKVIGIL_ARCH=win64
  fi
fi
export LINKVIGIL_ARCH
if [ "$LINKVIGIL_ARCH" = win64 ]; then
  WINE_LOADER=/usr/lib/wine/wine64
else
  WINE_LOADER=/usr/lib/wine/wine
fi
export WINE_LOADER

wine_arch_note() {
  [ "$LINKVIGIL_ARCH" = win64 ] || return 0
  echo "Note: this machine cannot run 32-bit programs (its kernel's 32-bit emulation is off), so"
  echo "      Wine runs a 64-bit build of the same sources; the shipped Linkvigil.exe is 32-bit."
}

wine_build_dir() {
  if [ -n "${BUILD_DIR:-}" ]; then
    echo "$BUILD_DIR"
  elif [ "$LINKVIGIL_ARCH" = win64 ]; then
    echo "$1/build-win64"
  else
    echo "$1/build"
  fi
}

# A prefix of the build's own, never ~/.wine; quiet unless WINEDEBUG says otherwise.
# DLL overrides:
#   mscoree,mshtml=        no Mono or Gecko prompts
#   winemenubuilder.exe=d  Wine writes no menu entries or file associations outside the prefix
#   rasapi32=n,b           a RAS stand-in put in system32 is loaded instead of Wine's own;
#                          while Wine's file is there, Wine's built-in RAS is loaded as usual
# Overrides the caller had already set are kept, after ours; ours are added once however often
# this runs in one environment.
wine_use() {
  local ours="mscoree,mshtml=;winemenubuilder.exe=d;rasapi32=n,b"
  export WINEPREFIX="$1" WINEARCH="$LINKVIGIL_ARCH" WINELOADER="$WINE_LOADER"
  export WINEDEBUG="${WINEDEBUG:--all}"
  case "${WINEDLLOVERRIDES:-}" in
    "$ours"*) ;;
    *) export WINEDLLOVERRIDES="$ours${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}" ;;
  esac
}
