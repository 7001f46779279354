#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test under Wine on a virtual display; then
# builds everything once more with undefined behaviour trapping (-fsanitize=undefined
# -fsanitize-undefined-trap-on-error) into <build>-ubsan and runs every test there too, so
# undefined behaviour in any run of the program, the stand-in or the tests fails that run.
# Before the tests, the release is built twice in two folders and must come out the same bytes.
#
# On a machine that runs no 32-bit program (scripts/wine-env.sh), the shipped 32-bit program
# is still built and its host checks run (import table, formatting, release zip), and the
# tests under Wine run on a 64-bit build of the same sources (<build>-win64, and
# <build>-win64-ubsan with undefined behaviour trapping).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
"$root/scripts/setup-deps.sh"
. "$root/scripts/wine-env.sh"
wine_arch_note

status=0
if [ "$LINKVIGIL_ARCH" = win32 ]; then
  "$root/scripts/build.sh" -DLINKVIGIL_WINE_TESTS=ON
  BUILD_DIR="$build-ubsan" "$root/scripts/build.sh" -DLINKVIGIL_UBSAN=ON
  runs=("$build" "$build-ubsan")
else
  LINKVIGIL_ARCH=win32 "$root/scripts/build.sh" -DLINKVIGIL_WINE_TESTS=OFF
  BUILD_DIR="$build-win64" "$root/scripts/build.sh"
  BUILD_DIR="$build-win64-ubsan" "$root/scripts/build.sh" -DLINKVIGIL_UBSAN=ON
  runs=("$build" "$build-win64" "$build-win64-ubsan")
fi
"$root/scripts/check-reproducible.sh" || status=1
for dir in "${runs[@]}"; do
  echo "Running: the tests in $dir"
  # Tests of the window need an X display; a private virtual one keeps them off the user's.
  (cd "$dir" && xvfb-run -a -s "-screen 0 1024x768x24" \
    ctest --output-on-failure --no-tests=error --timeout 600 "$@") || status=1
done
exit $status
