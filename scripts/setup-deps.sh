#!/usr/bin/env bash
# Installs what building and testing need on Debian: the 32-bit MinGW-w64 cross compiler
# (win32 thread model), 32-bit Wine, a virtual display and GoogleTest sources. Idempotent.
set -euo pipefail

packages=(cmake make g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 mingw-w64-tools
          wine wine32:i386 wine64 xvfb xauth x11-utils imagemagick googletest locales
          clang-format)

missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
