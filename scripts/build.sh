#!/usr/bin/env bash
# Sets up what is missing, then configures and builds into build/ (or $BUILD_DIR), one line per
# stage. The compiler's output goes to <build>/build.log; its tail is shown when the build fails.
# Arguments: -D settings for CMake, and --target NAME (repeatable) to build only what is named.
# A build with -DBUILD_TESTING=OFF (the release) sets up only what the release needs.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
export BUILD_DIR="$build"

settings=()
targets=()
profile=all
while [ $# -gt 0 ]; do
  case "$1" in
    --target) targets+=("$2"); shift 2 ;;
    -DBUILD_TESTING=OFF) settings+=("$1"); profile=release; shift ;;
    *) settings+=("$1"); shift ;;
  esac
done

"$root/scripts/setup-deps.sh" $([ "$profile" = release ] && echo release)

mkdir -p "$build"
log="$build/build.log"
: >"$log"
quiet_log="$log" quiet_step=Building
. "$root/scripts/quietly.sh"

echo "Building: ${targets[*]:-everything} in $build (output in $log)"
quietly cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" \
  "${settings[@]}"
if [ ${#targets[@]} -eq 0 ]; then
  # The tests' Wine prefixes are part of everything; made first, they get a line of their own.
  slots=$(sed -n 's/^LINKVIGIL_WINE_SLOTS:STRING=//p' "$build/CMakeCache.txt")
  if grep -q '^BUILD_TESTING:BOOL=ON' "$build/CMakeCache.txt" &&
     grep -q '^LINKVIGIL_WINE_TESTS:BOOL=ON' "$build/CMakeCache.txt" &&
     { [ ! -f "$build/wineprefix/.ready" ] ||
       { [ "${slots:-1}" -gt 1 ] && [ ! -f "$build/wineprefix-$((slots - 1))/.ready" ]; }; }; then
    # Made beside the compiler, which they leave a processor to.
    echo "Preparing Wine: ${slots:-1} prefixes for the tests in $build (wineprefix*)"
  fi
  quietly cmake --build "$build" -j "$(nproc)"
else
  quietly cmake --build "$build" -j "$(nproc)" --target "${targets[@]}"
fi
