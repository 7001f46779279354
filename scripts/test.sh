#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test under Wine on a virtual display; then
# builds everything once more with undefined behaviour trapping (-fsanitize=undefined
# -fsanitize-undefined-trap-on-error) into <build>-ubsan and runs every test there too, so
# undefined behaviour in any run of the program, the stand-in or the tests fails that run.
# Before the tests, the release is built twice in two folders and must come out the same bytes.
#
# Some kernels run no 32-bit program at all (32-bit emulation switched off), and 32-bit Wine
# with them. There the shipped 32-bit program is still built and its host checks run (import
# table, formatting, release zip), and every Wine test runs on a 64-bit build of the same
# sources under 64-bit Wine (<build>-win64 and <build>-win64-ubsan), and says so.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
"$root/scripts/setup-deps.sh"

status=0
if /usr/lib/wine/wine --version >/dev/null 2>&1; then
  "$root/scripts/build.sh" -DLINKVIGIL_WINE_TESTS=ON
  BUILD_DIR="$build-ubsan" "$root/scripts/build.sh" -DLINKVIGIL_UBSAN=ON
  runs=("$build" "$build-ubsan")
else
  echo "Note: this machine cannot run 32-bit programs (its kernel's 32-bit emulation is off)."
  echo "      The 32-bit Linkvigil.exe is built and checked in $build; the tests under Wine run on"
  echo "      a 64-bit build of the same sources under 64-bit Wine."
  "$root/scripts/build.sh" -DLINKVIGIL_WINE_TESTS=OFF
  LINKVIGIL_ARCH=win64 BUILD_DIR="$build-win64" "$root/scripts/build.sh"
  LINKVIGIL_ARCH=win64 BUILD_DIR="$build-win64-ubsan" "$root/scripts/build.sh" -DLINKVIGIL_UBSAN=ON
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
