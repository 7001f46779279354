#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test under Wine on a virtual display; then
# builds everything once more with undefined behaviour trapping (-fsanitize=undefined
# -fsanitize-undefined-trap-on-error) into <build>-ubsan and runs every test there too, so
# undefined behaviour in any run of the program, the stand-in or the tests fails that run.
# Before the tests, the release is built twice in two folders and must come out the same bytes.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
"$root/scripts/build.sh"
BUILD_DIR="$build-ubsan" "$root/scripts/build.sh" -DLINKVIGIL_UBSAN=ON
status=0
"$root/scripts/check-reproducible.sh" || status=1
for dir in "$build" "$build-ubsan"; do
  echo "Running: the tests in $dir"
  # Tests of the window need an X display; a private virtual one keeps them off the user's.
  (cd "$dir" && xvfb-run -a -s "-screen 0 1024x768x24" \
    ctest --output-on-failure --no-tests=error --timeout 600 "$@") || status=1
done
exit $status
