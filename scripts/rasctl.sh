#!/usr/bin/env bash
# Drives the RAS stand-in of the program that scripts/run.sh started (same build, same prefix).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/wine-env.sh"
wine_utf8_locale
build="${BUILD_DIR:-$root/build}"
wine_use "$build/wineprefix-run"
exec "$WINE_LOADER" "$build/rasstub/rasctl.exe" "$@"
