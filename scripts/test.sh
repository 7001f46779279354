#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test under Wine on a virtual display; then
# builds everything once more with undefined behaviour trapping (-fsanitize=undefined
# -fsanitize-undefined-trap-on-error) into <build>-ubsan and runs every test there too, so
# undefined behaviour in any run of the program, the stand-in or the tests fails that run.
# The release is built twice in two folders and must come out the same bytes.
#
# The tests mostly wait for the program under Wine, so the stages overlap: both trees compile
# at once; each tree's tests start as soon as it is built; the release is checked meanwhile.
# Within each tree several tests run at once, each in a Wine prefix of its own ("slots", see
# <build>/wine-run).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/wine-env.sh"
wine_setup "$root"
build="${BUILD_DIR:-$root/build}"
ubsan="$build-ubsan"

status=0
# With arguments (say -L unit) a tree may hold no test that matches; without, each must run some.
no_tests=error
[ $# -gt 0 ] && no_tests=ignore

# Each slot gets a private virtual display (tests of the window need one, and tests that run at
# once must not take each other's keyboard focus), on a number no X server uses, with a key in
# its tree's own authority file.
free_display() {
  local n
  for n in $(seq "$1" 999); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] || { echo "$n"; return; }
  done
  return 1
}
xvfb_pids=()
trap '[ ${#xvfb_pids[@]} -eq 0 ] || kill "${xvfb_pids[@]}" 2>/dev/null || :' EXIT
display=90
# Starts a display whose key goes into the authority file $1; sets started to its name once
# it takes clients (Xvfb writes its number to -displayfd then).
start_display() {
  local auth="$1" n ready attempt
  ready=$(mktemp)
  for attempt in 1 2 3 4 5; do
    n=$(free_display "$display") || break
    display=$((n + 1))
    xauth -f "$auth" add ":$n" . "$(mcookie)"
    : >"$ready"
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp -auth "$auth" -displayfd 3 \
      3>"$ready" >/dev/null 2>&1 &
    xvfb_pids+=($!)
    # Another server may take the number first: this one then ends, and the next is tried.
    while [ ! -s "$ready" ] && kill -0 "$!" 2>/dev/null; do sleep 0.1; done
    if [ -s "$ready" ]; then
      rm -f "$ready"
      started=":$n"
      return 0
    fi
  done
  rm -f "$ready"
  echo "no virtual display could be started" >&2
  return 1
}

# Starts the tests of the tree $1 in the background, output in $1/ctest.log; adds the
# process to tests. The Wine tests take the slots (and the processor) of wine-slots.json; the
# host checks, which need no slot, run beside them.
tests=()
run_tests() {
  local dir="$1" slots auth displays=() slot
  shift
  slots=$(sed -n 's/^LINKVIGIL_WINE_SLOTS:STRING=//p' "$dir/CMakeCache.txt")
  auth="$dir/xauthority"
  : >"$auth"
  for ((slot = 0; slot < slots; slot++)); do
    start_display "$auth"
    displays+=("$started")
  done
  (cd "$dir" && XAUTHORITY="$auth" DISPLAY="${displays[0]}" LINKVIGIL_DISPLAYS="${displays[*]}" \
    ctest --resource-spec-file wine-slots.json -j "$((slots + 2))" --output-on-failure \
      --no-tests="$no_tests" --timeout 600 "$@") >"$dir/ctest.log" 2>&1 &
  tests+=($!)
}

# The second tree needs no benchmarks, and its Wine prefixes are copies of the first tree's
# first prefix, made as soon as that one is ready, while the first tree compiles. The two
# trees compile at once, at the same priority: the first tree's tests take longer (every
# Windows version), but a second tree compiled at a lower priority finishes last.
ubsan_settings=(-DLINKVIGIL_UBSAN=ON -DLINKVIGIL_BENCH=OFF
  -DLINKVIGIL_WINEPREFIX_TEMPLATE="$build/wineprefix")
"$root/scripts/build.sh" -DLINKVIGIL_WINE_TESTS=ON &
first=$!
BUILD_DIR="$ubsan" LINKVIGIL_TEMPLATE_MAKER=$first "$root/scripts/build.sh" "${ubsan_settings[@]}" &
second=$!
if ! wait "$first"; then
  wait "$second" || :
  exit 1
fi
# A prefix is copied only while no server runs in it: the first tree's tests start once the
# second tree's first prefix is made.
while [ ! -f "$ubsan/wineprefix/.ready" ] && kill -0 "$second" 2>/dev/null; do sleep 0.2; done
trees=("$build")
echo "Running: the tests in $build (output in $build/ctest.log)"
run_tests "$build" "$@"
if wait "$second"; then
  echo "Running: the tests in $ubsan (output in $ubsan/ctest.log)"
  trees+=("$ubsan")
  # The checks of the sources and scripts themselves (label scripts) are alike in every
  # tree: the first has run them.
  run_tests "$ubsan" -LE scripts "$@"
else
  status=1
fi
nice "$root/scripts/check-reproducible.sh" || status=1

for i in "${!trees[@]}"; do
  wait "${tests[$i]}" || status=1
  echo "== the tests in ${trees[$i]}"
  cat "${trees[$i]}/ctest.log"
done
exit $status
