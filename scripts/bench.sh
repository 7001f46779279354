#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every benchmark of the real program under Wine on
# a virtual display, then prints the table (docs/PERFORMANCE.md explains each figure).
# Takes about five minutes. Arguments go to the benchmark program, e.g. --quick or
# --only startup,log. The build lands in build/ (or $BUILD_DIR).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/wine-env.sh"
wine_setup "$root"
build="${BUILD_DIR:-$root/build}"
# Figures are of the program as it ships: the release configuration.
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/i686-w64-mingw32.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel \
  -DLINKVIGIL_WINE_TESTS=ON -DLINKVIGIL_BENCH=ON >/dev/null
cmake --build "$build" --target bench -j "$(nproc)"

# Where the executable's bytes come from, by library and object (from the linker map).
"$root/scripts/size-map.sh" "$build/Linkvigil.map"

results="$build/bench/results.md"
{
  echo "Linkvigil benchmarks, $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo
  echo "- Machine: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores," \
       "$(free -m | awk '/^Mem:/ {print $2}') MB, Linux $(uname -r), $("$WINE_LOADER" --version),"\
       "32-bit programs run $(q=$(wine_i386_interpreter); echo "${q:+under }${q:-natively}")"
  echo "- Load average before the run: $(cut -d' ' -f1-3 /proc/loadavg)"
  echo
} | tee "$results"

cd "$build"
# The server stays up for the whole run, so each program starts in milliseconds; the first
# program starts Wine's desktop process, which must see the virtual display.
status=0
xvfb-run -a -s "-screen 0 1024x768x24" sh -c '
  ./wine-run --server-start
  ./wine-run bench/linkvigil_bench.exe "$@"
  status=$?
  ./wine-run --server-stop
  exit $status' bench "$@" | tee -a "$results" || status=$?
echo "- Load average after the run: $(cut -d' ' -f1-3 /proc/loadavg)" | tee -a "$results"
exit "$status"
