#!/usr/bin/env bash
# Runs the cases of one GoogleTest suite in one process (gtest_suites.cmake) and passes only
# when the process succeeds and every case ran: a filter that named none would pass otherwise.
#   run_suite.sh <number of cases> <program> <arguments>...
set -o pipefail
expected="$1"
shift
output=$(mktemp)
trap 'rm -f "$output"' EXIT
"$@" 2>&1 | tee "$output"
status=$?
[ "$status" -eq 0 ] || exit "$status"
ran=$(sed -n 's/^\[==========\] \([0-9]*\) tests\{0,1\} from .* ran\..*/\1/p' "$output")
if [ "$ran" != "$expected" ]; then
  echo "run_suite.sh: ${ran:-no} cases ran of the $expected named" >&2
  exit 1
fi
