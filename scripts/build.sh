#!/usr/bin/env bash
# Sets up what is missing, then configures and builds into build/ (or $BUILD_DIR).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
"$root/scripts/setup-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
