#!/usr/bin/env bash
# Installs what is missing on Debian, one line of output per stage: apt's own output goes to
# <build>/setup-apt.log (build/ or $BUILD_DIR) and only its tail is shown when it fails.
# Idempotent: with nothing missing it changes nothing.
#   setup-deps.sh          what building, running and testing need: the 32-bit MinGW-w64 cross
#                          compiler (win32 thread model), 32-bit Wine with its fonts, a virtual
#                          display, GoogleTest sources and clang-format
#   setup-deps.sh release  only what the release needs: CMake, MinGW-w64 and Python 3
#
# Where the kernel runs no 32-bit program (its 32-bit emulation is off: 32-bit Wine fails with
# "Exec format error"), 32-bit Wine runs under user-mode emulation instead: qemu-user 10 from
# Debian's bookworm-backports suite (Debian 12's own qemu takes over a minute per Wine
# process), added to apt once, and a binfmt_misc entry that hands i386 ELF executables to
# /usr/bin/qemu-i386. The entry is lost at reboot; every run makes it again when missing.
# (64-bit Wine is not needed: with it Debian's wineserver picks the native 64-bit server, but
# the tests took as long with the emulated 32-bit one, which comes with 32-bit Wine.)
# SETUP_EMULATE_I386=1 takes that road on a machine that runs 32-bit programs natively (to try
# it there, inside a user namespace of its own, whose binfmt_misc entries nobody else sees).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"

packages=(cmake make g++-mingw-w64-i686-win32 binutils-mingw-w64-i686 python3)
case "${1:-all}" in
  release) ;;
  all) packages+=(mingw-w64-tools wine wine32:i386 fonts-wine xvfb xauth x11-utils
                  imagemagick googletest locales clang-format) ;;
  *) echo "usage: $0 [release]" >&2; exit 2 ;;
esac

# Everything was set up already in this run (wine_setup of scripts/wine-env.sh says so): the
# build and release scripts that follow need nothing more, and say nothing again.
[ "${LINKVIGIL_SET_UP:-}" = all ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
# sudo drops the environment: env passes the setting through to apt-get and dpkg.
apt=($sudo env DEBIAN_FRONTEND=noninteractive LC_ALL=C apt-get --no-install-recommends)
log="$build/setup-apt.log"
quiet_log="$log" quiet_step="Setting up"
. "$root/scripts/quietly.sh"
started_log=""
start_log() {
  [ -n "$started_log" ] && return
  mkdir -p "$build"
  : >"$log"
  started_log=1
}

# A failed update is only a warning: one index that could not be fetched (a mirror in the
# middle of a sync) leaves the others read, and apt says so itself ("ignored, or old ones used
# instead"); what the project needs usually installs all the same.
update_failed=""
apt_update() {
  start_log
  if ! "${apt[@]}" -y update >>"$log" 2>&1; then
    update_failed=1
    echo "Setting up: warning: apt-get update failed, installing anyway (output in $log)"
  fi
}

# Installs (apt-get install's arguments). After a failed update the install can fail where it
# would not otherwise: with the amd64 index of a suite read but not its i386 one, wine32:i386
# finds no i386 library at the version of its amd64 twin ("held broken packages"). Then it is
# tried once more preferring the release's own suites, which were read whole.
apt_install() {
  "${apt[@]}" -y install "$@" >>"$log" 2>&1 && return 0
  local codename
  codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
  if [ -n "$update_failed" ] && [ -n "$codename" ] && [[ " $* " != *" -t "* ]]; then
    echo "Setting up: the install failed after the failed update: trying again with the packages of $codename's own suites"
    "${apt[@]}" -y -t "$codename" install "$@" >>"$log" 2>&1 && return 0
  fi
  echo "Setting up: failed: apt-get install $*" >&2
  if [ -n "$update_failed" ]; then
    echo "  Likely cause: a package index could not be fetched (apt-get update failed; a" >&2
    echo "  mirror may be in the middle of a sync): try again later. apt's last lines:" >&2
  fi
  tail -n 40 "$log" >&2
  echo "(whole output: $log)" >&2
  exit 1
}

# Installs the packages named that are missing (apt-get options first, then "--"), with a
# line that says what and how much; $1 says where from when not the usual suites.
install_missing() {
  local from="$1" options=() missing=() p
  shift
  while [ "$1" != -- ]; do options+=("$1"); shift; done
  shift
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  start_log
  local arch=""
  if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    arch=", adding the i386 architecture to dpkg"
  fi
  echo "Setting up: installing ${missing[*]}$from with apt-get$arch (output in $log)"
  [ -n "$arch" ] && quietly $sudo dpkg --add-architecture i386
  apt_update
  # apt's own estimate, from the package lists just read.
  local size
  size=$("${apt[@]}" --assume-no "${options[@]}" install "${missing[@]}" 2>/dev/null |
    sed -n 's/^Need to get \(.*\) of archives\./\1 to download/p;
            s/^After this operation, \(.*\) of additional disk space.*/\1 on disk/p' |
    paste -sd, - | sed 's/,/, /') || true
  [ -n "$size" ] && echo "Setting up: $size"
  apt_install "${options[@]}" "${missing[@]}"
}

install_missing "" -- "${packages[@]}"
if [ "${1:-all}" = release ]; then
  echo "Setting up: the ${#packages[@]} packages the release needs are present"
  exit 0
fi

. "$root/scripts/wine-env.sh"
if [ -z "${SETUP_EMULATE_I386:-}" ] && [ -z "$(wine_i386_interpreter)" ] &&
   "$WINE_LOADER" --version >/dev/null 2>&1; then
  echo "Setting up: the ${#packages[@]} packages are present; 32-bit programs run natively"
  exit 0
fi

# From here on: 32-bit programs run under emulation.
emulation_failed() {
  echo "Setting up: failed: $1" >&2
  echo "  This machine runs no 32-bit program natively, and 32-bit Wine, the tests and the" >&2
  echo "  run command need one: they run it under qemu-user with a binfmt_misc entry, which" >&2
  echo "  needs root (or sudo) once per boot, and a kernel with binfmt_misc." >&2
  exit 1
}
backports=/etc/apt/sources.list.d/bookworm-backports.sources
if ! grep -qs '^[^#]*bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/*.list \
     /etc/apt/sources.list.d/*.sources; then
  start_log
  echo "Setting up: adding Debian's bookworm-backports suite to apt ($backports)"
  printf '%s\n' "Types: deb" "URIs: http://deb.debian.org/debian" "Suites: bookworm-backports" \
    "Components: main" "Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg" |
    quietly $sudo tee "$backports"
fi
qemu_version=$(dpkg-query -W -f '${Version}' qemu-user 2>/dev/null || true)
if [ -n "$qemu_version" ] && ! dpkg --compare-versions "$qemu_version" ge 1:10; then
  start_log
  echo "Setting up: qemu-user $qemu_version is too slow for Wine: upgrading from bookworm-backports"
  apt_update
  apt_install -t bookworm-backports qemu-user
fi
install_missing " from bookworm-backports" -t bookworm-backports -- qemu-user

binfmt=/proc/sys/fs/binfmt_misc
qemu=/usr/bin/qemu-i386
if [ ! -e "$binfmt/register" ]; then
  echo "Setting up: mounting binfmt_misc on $binfmt"
  $sudo mount -t binfmt_misc binfmt_misc "$binfmt" || emulation_failed "cannot mount binfmt_misc"
fi
if [ "$(wine_i386_interpreter)" != "$qemu" ]; then
  echo "Setting up: registering $qemu with binfmt_misc for i386 executables (until reboot)"
  # A stale entry of the same name (disabled, or another interpreter) goes first.
  if [ -e "$binfmt/qemu-i386" ]; then
    echo -1 | $sudo tee "$binfmt/qemu-i386" >/dev/null || emulation_failed "cannot remove $binfmt/qemu-i386"
  fi
  # ELF, 32-bit, little-endian, an executable or a shared object (a PIE), machine i386; F: the
  # interpreter is opened now, so it is found from every mount namespace and chroot.
  magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
  mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
  printf '%s\n' ":qemu-i386:M::$magic:$mask:$qemu:F" | $sudo tee "$binfmt/register" >/dev/null ||
    emulation_failed "cannot register $qemu with binfmt_misc"
fi
"$WINE_LOADER" --version >/dev/null 2>&1 ||
  emulation_failed "32-bit Wine does not start even under $qemu: $("$WINE_LOADER" --version 2>&1 | head -n 1)"
echo "Setting up: the packages are present; 32-bit programs run under emulation ($qemu)"
