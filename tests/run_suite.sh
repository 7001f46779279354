#!/usr/bin/env bash
# Runs the cases of one GoogleTest suite in one process (gtest_suites.cmake) and passes only
# when the process succeeds and every case it names ran and passed: a filter that named none
# would pass otherwise, and so would a case that skipped itself (GoogleTest counts a skipped
# case as run, and exits 0). No unit case may skip: a check that cannot be made fails.
#   run_suite.sh <number of cases> <program> <arguments>...
set -o pipefail
expected="$1"
shift
output=$(mktemp)
trap 'rm -f "$output"' EXIT
"$@" 2>&1 | tee "$output"
status=$?
[ "$status" -eq 0 ] || exit "$status"
summary() { sed -n "s/^\[ *$1 *\] \([0-9][0-9]*\) tests\{0,1\}[ ,.].*/\1/p" "$output" | tail -n 1; }
ran=$(sed -n 's/^\[==========\] \([0-9]*\) tests\{0,1\} from .* ran\..*/\1/p' "$output")
skipped=$(summary SKIPPED)
if [ "$ran" != "$expected" ]; then
  echo "run_suite.sh: ${ran:-no} cases ran of the $expected named" >&2
  exit 1
fi
if [ "${skipped:-0}" -ne 0 ]; then
  echo "run_suite.sh: $skipped of the $expected cases skipped themselves:" >&2
  tr -d '\r' <"$output" | sed -n 's/^\[  SKIPPED \] \([^ ]*\.[^ ]*\)$/  \1/p' | sort -u >&2
  exit 1
fi
passed=$(summary PASSED)
if [ "$passed" != "$expected" ]; then
  echo "run_suite.sh: ${passed:-no} cases passed of the $expected named" >&2
  exit 1
fi
