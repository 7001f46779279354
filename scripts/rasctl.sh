#!/usr/bin/env bash
# Drives the RAS stand-in of the program that scripts/run.sh started (same build, same prefix).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
export WINEPREFIX="$build/wineprefix-run" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d;rasapi32=n,b"
exec wine "$build/rasstub/rasctl.exe" "$@"
