# Sourced by the scripts that run the program or its tests: which Windows build this machine
# can run under Wine. Some kernels run no 32-bit program at all (32-bit emulation switched
# off), and so no 32-bit Wine; there the same sources are built for 64-bit Windows and run
# under 64-bit Wine, while the product stays the 32-bit build.
#   LINKVIGIL_ARCH  win32 or win64 (set it to choose)
#   WINE_LOADER     the Wine loader for that architecture
#   wine_arch_note  prints, once, why a 64-bit build is used
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
