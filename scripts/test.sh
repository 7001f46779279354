#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test under Wine on a virtual display; then
# builds everything once more with undefined behaviour trapping (-fsanitize=undefined
# -fsanitize-undefined-trap-on-error) into <build>-ubsan and runs every test there too, so
# undefined behaviour in any run of the program, the stand-in or the tests fails that run.
# Before the tests, the release is built twice in two folders and must come out the same bytes.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/wine-env.sh"
wine_setup "$root"
build="${BUILD_DIR:-$root/build}"

status=0
# With arguments (say -L unit) a tree may hold no test that matches; without, each must run some.
no_tests=error
[ $# -gt 0 ] && no_tests=ignore
"$root/scripts/build.sh" -DLINKVIGIL_WINE_TESTS=ON
BUILD_DIR="$build-ubsan" "$root/scripts/build.sh" -DLINKVIGIL_UBSAN=ON
trees=("$build" "$build-ubsan")
"$root/scripts/check-reproducible.sh" || status=1

# The two trees' tests run at once: they spend most of their time waiting for the program
# under Wine, and each tree has its own Wine prefix and server. Each gets a private virtual
# display (tests of the window need one), on a number no X server uses.
free_display() {
  local n
  for n in $(seq "$1" 999); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { echo "$n"; return; }
  done
}
echo "Running: the tests in ${trees[*]} at once; each one's output follows when both end"
pids=()
display=90
for dir in "${trees[@]}"; do
  display=$(free_display "$display")
  (cd "$dir" && xvfb-run -n "$display" -s "-screen 0 1024x768x24" \
    ctest --output-on-failure --no-tests="$no_tests" --timeout 600 "$@") >"$dir/ctest.log" 2>&1 &
  pids+=($!)
  display=$((display + 1))
done
for i in "${!trees[@]}"; do
  wait "${pids[$i]}" || status=1
  echo "== the tests in ${trees[$i]}"
  cat "${trees[$i]}/ctest.log"
done
exit $status
