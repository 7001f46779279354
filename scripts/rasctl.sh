#!/usr/bin/env bash
# Drives the RAS stand-in of the program that scripts/run.sh started (same build, same prefix).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/wine-env.sh"
build="${BUILD_DIR:-$root/build$([ "$LINKVIGIL_ARCH" = win64 ] && echo -win64)}"
export WINEPREFIX="$build/wineprefix-run" WINEARCH="$LINKVIGIL_ARCH" WINELOADER="$WINE_LOADER"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;rasapi32=n,b"
exec "$WINE_LOADER" "$build/rasstub/rasctl.exe" "$@"
