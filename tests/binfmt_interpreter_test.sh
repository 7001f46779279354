#!/bin/sh
# Which interpreter scripts/wine-env.sh finds for an executable, given binfmt_misc entries as
# the kernel lists them (a folder of its own stands for /proc/sys/fs/binfmt_misc): the tests
# and the run command say from it that 32-bit programs run under emulation, and setup-deps.sh
# registers qemu-i386 when it is not the one. Prints one line per wrong answer.
set -u
. "$(dirname "$0")/../scripts/wine-env.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/binfmt-test.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The first 20 bytes of ELF headers: 32-bit i386 executable and PIE, 64-bit x86-64.
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\002\000\003\000' >"$work/i386"
printf '\177ELF\001\001\001\000\000\000\000\000\000\000\000\000\003\000\003\000' >"$work/i386-pie"
printf '\177ELF\002\001\001\000\000\000\000\000\000\000\000\000\002\000\076\000' >"$work/x86-64"

i386_magic=7f454c4601010100000000000000000002000300
i386_mask=fffffffffffefe00fffffffffffffffffeffffff
# entry DIR NAME STATE INTERPRETER [magic MAGIC] [mask MASK] [offset N]: as the kernel shows it
entry() {
  dir="$1" name="$2" state="$3" interpreter="$4"
  shift 4
  mkdir -p "$dir"
  [ -f "$dir/status" ] || echo enabled >"$dir/status"
  {
    echo "$state"
    echo "interpreter $interpreter"
    echo "flags: F"
    while [ $# -gt 1 ]; do
      echo "$1 $2"
      shift 2
    done
  } >"$dir/$name"
}

failures=0
expect() { # WANT FILE DIR WHAT
  got=$(binfmt_interpreter "$work/$2" "$3")
  if [ "$got" != "$1" ]; then
    echo "wrong: $4: $2 goes to \"$got\", not \"$1\""
    failures=$((failures + 1))
  fi
}

d="$work/qemu"
entry "$d" qemu-i386 enabled /usr/bin/qemu-i386 offset 0 magic $i386_magic mask $i386_mask
expect /usr/bin/qemu-i386 i386 "$d" "the i386 entry"
expect /usr/bin/qemu-i386 i386-pie "$d" "the i386 entry, whose mask takes shared objects too"
expect "" x86-64 "$d" "the i386 entry"

d="$work/disabled-entry"
entry "$d" qemu-i386 disabled /usr/bin/qemu-i386 offset 0 magic $i386_magic mask $i386_mask
expect "" i386 "$d" "a disabled entry"

d="$work/disabled-binfmt"
entry "$d" qemu-i386 enabled /usr/bin/qemu-i386 offset 0 magic $i386_magic mask $i386_mask
echo disabled >"$d/status"
expect "" i386 "$d" "binfmt_misc switched off"

expect "" i386 "$work/not-mounted" "no binfmt_misc"

d="$work/others-first"
entry "$d" arm enabled /usr/bin/qemu-arm offset 0 \
  magic 7f454c4601010100000000000000000002002800 mask $i386_mask
entry "$d" exe enabled /usr/bin/wine extension .exe
entry "$d" x86-64 enabled /usr/bin/qemu-x86_64 offset 0 \
  magic 7f454c4602010100000000000000000002003e00 mask $i386_mask
entry "$d" z-i386 enabled /opt/qemu/bin/qemu-i386 offset 0 magic $i386_magic mask $i386_mask
expect /opt/qemu/bin/qemu-i386 i386 "$d" "entries for other machines and an extension beside it"
expect /usr/bin/qemu-x86_64 x86-64 "$d" "an x86-64 entry"

d="$work/offset"
entry "$d" machine enabled /usr/local/bin/by-machine offset 18 magic 0300
expect /usr/local/bin/by-machine i386 "$d" "the machine field alone, at offset 18, no mask"
expect "" x86-64 "$d" "the machine field alone, at offset 18, no mask"

d="$work/no-mask"
entry "$d" exact enabled /usr/local/bin/exact offset 0 magic $i386_magic
expect /usr/local/bin/exact i386 "$d" "an exact magic"
expect "" i386-pie "$d" "an exact magic of executables"

if [ $failures -gt 0 ]; then
  echo "$failures wrong answers"
  exit 1
fi
echo "every answer right"
