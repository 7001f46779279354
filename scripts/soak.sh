#!/usr/bin/env bash
# The long runs of the reliability suite (docs/RELIABILITY.md): the same cases that every
# ./scripts/test.sh runs short, with 25,000 random RAS changes, 400 overlapping writes,
# 10,000 presses of Start/Stop and 100 kills. Settings can be changed in the environment;
# further arguments go to ctest. The "[ FIGURES  ]" lines are the suite's figures.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/wine-env.sh"
wine_setup "$root"
build="${BUILD_DIR:-$root/build}"
BUILD_DIR="$build" "$root/scripts/build.sh" -DLINKVIGIL_WINE_TESTS=ON
export LINKVIGIL_SOAK_CHANGES="${LINKVIGIL_SOAK_CHANGES:-25000}"
export LINKVIGIL_SOAK_SEED="${LINKVIGIL_SOAK_SEED:-$(date +%s)}"
export LINKVIGIL_OVERLAP_TOGGLES="${LINKVIGIL_OVERLAP_TOGGLES:-400}"
export LINKVIGIL_PRESSES="${LINKVIGIL_PRESSES:-10000}"
export LINKVIGIL_KILLS="${LINKVIGIL_KILLS:-100}"
export LINKVIGIL_ALLOC_FAULTS_ALL="${LINKVIGIL_ALLOC_FAULTS_ALL:-1}"
echo "seed $LINKVIGIL_SOAK_SEED (LINKVIGIL_SOAK_SEED=$LINKVIGIL_SOAK_SEED repeats this run)"
cd "$build"
status=0
xvfb-run -a -s "-screen 0 1024x768x24" \
  ctest -R "Reliability|AllocFaults" -V --no-tests=error --timeout 3600 "$@" > soak.log 2>&1 || status=1
grep -E 'FIGURES|Test +#|tests passed|tests failed' soak.log | sed 's/^[0-9]*: //'
echo "full output: $build/soak.log"
exit $status
