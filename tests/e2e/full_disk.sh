#!/bin/sh
# Runs the full-disk case of the end-to-end suite with the program's directory on a tmpfs of
# 1 MiB, which the case fills while RAS events keep coming. Mounting needs root: elsewhere,
# or where mounting is refused, the case is skipped (exit 77). DRIVE is the build folder's
# drive in the tests' prefixes (<build>/wine-run).
# Usage: full_disk.sh BUILD_DIR DRIVE E2E_TESTS_EXE
set -u
build="$1"
drive="$2"
tests="$3"
if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: mounting a tmpfs needs root"
  exit 77
fi
dir="$build/e2e-full-disk"
mkdir -p "$dir"
mountpoint -q "$dir" && umount "$dir"
if ! mount -t tmpfs -o size=1m linkvigil-full-disk "$dir"; then
  echo "skipped: a tmpfs cannot be mounted here"
  exit 77
fi
trap 'umount "$dir" 2>/dev/null || umount -l "$dir"' EXIT
LINKVIGIL_FULL_DISK_DIR="$drive/e2e-full-disk" "$build/wine-run" "$tests" \
  --gtest_filter=Reliability.FullDiskDropsLinesAndWritesAgainWhenSpaceReturns
