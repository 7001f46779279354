#!/usr/bin/env bash
# Installs what is missing on Debian, in one line of output: apt's own output goes to
# <build>/setup-apt.log (build/ or $BUILD_DIR) and only its tail is shown when it fails.
# Idempotent: with nothing missing it changes nothing.
#   setup-deps.sh          what building, running and testing need: the 32-bit MinGW-w64 cross
#                          compiler (win32 thread model), 32-bit Wine with its fonts, a virtual
#                          display, GoogleTest sources and clang-format; the 64-bit compiler
#                          and 64-bit Wine for hosts that cannot run 32-bit programs
#   setup-deps.sh release  only what the release needs: CMake, MinGW-w64 and Python 3
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"

packages=(cmake make g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 python3)
case "${1:-all}" in
  release) ;;
  # The 64-bit compiler builds the tests for hosts whose kernel runs no 32-bit program.
  all) packages+=(g++-mingw-w64-x86-64-win32 binutils-mingw-w64-x86-64
                  mingw-w64-tools wine wine32:i386 wine64 fonts-wine xvfb xauth x11-utils
                  imagemagick googletest locales clang-format) ;;
  *) echo "usage: $0 [release]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "Setting up: all ${#packages[@]} packages present"
  exit 0
fi

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
# sudo drops the environment: env passes the setting through to apt-get and dpkg.
apt=($sudo env DEBIAN_FRONTEND=noninteractive LC_ALL=C apt-get --no-install-recommends)
mkdir -p "$build"
log="$build/setup-apt.log"
: >"$log"
quiet_log="$log" quiet_step="Setting up"
. "$root/scripts/quietly.sh"

arch=""
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
  arch=", adding the i386 architecture to dpkg"
fi
echo "Setting up: installing ${missing[*]} with apt-get$arch (output in $log)"
[ -n "$arch" ] && quietly $sudo dpkg --add-architecture i386
quietly "${apt[@]}" -y update
# apt's own estimate, from the package lists just read.
size=$("${apt[@]}" --assume-no install "${missing[@]}" 2>/dev/null |
  sed -n 's/^Need to get \(.*\) of archives\./\1 to download/p;
          s/^After this operation, \(.*\) of additional disk space.*/\1 on disk/p' |
  paste -sd, - | sed 's/,/, /') || true
[ -n "$size" ] && echo "Setting up: $size"
quietly "${apt[@]}" -y install "${missing[@]}"
