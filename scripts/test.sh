#!/usr/bin/env bash
# Sets up what is missing, builds, and runs every test under Wine on a virtual display.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
"$root/scripts/build.sh"
cd "$build"
# Tests of the window need an X display; a private virtual one keeps them off the user's.
exec xvfb-run -a -s "-screen 0 1024x768x24" \
  ctest --output-on-failure --no-tests=error --timeout 600 "$@"
