#!/usr/bin/env bash
# Builds the download for Windows users: dist/Linkvigil-<version>-win32.zip (Linkvigil.exe,
# README.txt, LICENSE.txt) and dist/SHA256SUMS, the version being the CMake project version.
# The release configuration builds the program only: it needs CMake, MinGW-w64 and Python 3,
# which it installs when missing, and neither Wine nor GoogleTest. The same commit gives the
# same bytes (scripts/check-reproducible.sh proves it). The build lands in build-release/
# (or $BUILD_DIR), the download in dist/ (or $DIST_DIR).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
export BUILD_DIR="${BUILD_DIR:-$root/build-release}"
dist="${DIST_DIR:-$root/dist}"
"$root/scripts/build.sh" -DBUILD_TESTING=OFF -DCMAKE_BUILD_TYPE=MinSizeRel \
  -DLINKVIGIL_DIST_DIR="$dist" --target Linkvigil
echo "Packing: $dist"
cmake --build "$BUILD_DIR" --target dist | grep -E '^[0-9a-f]{64}  '
