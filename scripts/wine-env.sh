# The one Wine environment of the project, sourced by every script that runs Wine, by the
# tests' wrapper (<build>/wine-run) and by the run command. Wine is 32-bit Wine, as the
# program is a 32-bit program.
#   WINE_LOADER        32-bit Wine's loader (LINKVIGIL_WINE_LOADER puts another program in its
#                      place: the test of wine-run gives one that only reports how it was run)
#   wine_setup ROOT    installs what is missing (scripts/setup-deps.sh), then wine_check;
#                      the scripts run after it then set up nothing again (LINKVIGIL_SET_UP)
#   wine_check         fails, saying why, unless 32-bit Wine runs here; says when it runs
#                      under emulation (where the kernel runs no 32-bit program itself)
#   wine_i386_interpreter  the program the kernel hands 32-bit Wine's loader to, if any
#   binfmt_interpreter FILE [DIR]  the same for any executable (DIR: where binfmt_misc is)
#   wine_use PREFIX    exports the settings every Wine process of ours runs with (below)
#   wine_utf8_locale   runs what follows under a UTF-8 locale, C.UTF-8 where the caller's is
#                      not one (the run command and rasctl.sh; the tests set theirs per test)
WINE_LOADER="${LINKVIGIL_WINE_LOADER:-/usr/lib/wine/wine}"
export WINE_LOADER

wine_setup() {
  "$1/scripts/setup-deps.sh" && wine_check && export LINKVIGIL_SET_UP=all
}

wine_check() {
  local said status=0
  said=$("$WINE_LOADER" --version 2>&1) || status=$?
  if [ $status -ne 0 ]; then
    echo "32-bit Wine does not run here: $WINE_LOADER --version: ${said:-exit status $status}" | head -n 1 >&2
    echo "  Where the kernel runs no 32-bit program, scripts/setup-deps.sh sets up emulation" >&2
    echo "  (qemu-user and a binfmt_misc entry, as root or with sudo): run it and read its end." >&2
    return 1
  fi
  local qemu
  qemu=$(wine_i386_interpreter)
  [ -z "$qemu" ] && return 0
  echo "Note: 32-bit programs run here under emulation ($qemu, by binfmt_misc): Wine and the tests are slower"
}

# Wine names files in the character set of the locale it runs under. Under one that is not
# UTF-8 (POSIX, as a minimal install, a container or an ssh session often has, or a locale
# that is not generated here) it cannot find a folder named in letters outside ASCII as a
# UTF-8 locale spells them. Seen: the run prefix made under C.UTF-8 for the user "françois",
# then rasctl under POSIX: "cannot open the connection table" (its file is in the profile's
# Temp folder, which Wine looked for as "franC'ois"). C.UTF-8 is always there on Debian 12;
# a UTF-8 locale of the caller's is kept.
wine_utf8_locale() {
  case "$(locale charmap 2>/dev/null)" in
    UTF-8) ;;
    *) export LC_ALL=C.UTF-8 ;;
  esac
}

wine_i386_interpreter() {
  binfmt_interpreter "$WINE_LOADER"
}

# The interpreter that the kernel hands the executable FILE to: that of an enabled binfmt_misc
# entry (in DIR, /proc/sys/fs/binfmt_misc by default) whose magic matches FILE's first bytes.
# Such an entry takes FILE before the kernel's own ELF support does, on any machine. Nothing
# is printed where none does (or binfmt_misc is not mounted). Of several that match, the
# kernel takes the one registered last, which the folder does not show: the first by name is
# printed.
binfmt_interpreter() {
  local dir="${2:-/proc/sys/fs/binfmt_misc}" head entry
  [ "$(cat "$dir/status" 2>/dev/null)" = enabled ] || return 0
  head=$(od -An -v -tx1 -N256 "$1" 2>/dev/null | tr -d ' \n')
  for entry in "$dir"/*; do
    case "${entry##*/}" in register | status) continue ;; esac
    # The kernel's rule: the header matches where (header XOR magic) AND mask is zero.
    awk -v head="$head" '
      function digit(s, i) { return index("0123456789abcdef", substr(s, i, 1)) - 1 }
      function byte(s, i) { return digit(s, i) * 16 + digit(s, i + 1) }
      function and8(a, b,   r, p) {
        r = 0
        for (p = 1; p < 256; p *= 2) { if (a % 2 && b % 2) r += p; a = int(a / 2); b = int(b / 2) }
        return r
      }
      $1 == "enabled" { on = 1 }
      $1 == "interpreter" { interpreter = $2 }
      $1 == "offset" { offset = $2 }
      $1 == "magic" { magic = $2 }
      $1 == "mask" { mask = $2 }
      END {
        if (!on || magic == "" || length(head) < 2 * offset + length(magic)) exit 1
        for (i = 1; i < length(magic); i += 2) {
          m = mask == "" ? 255 : byte(mask, i)
          if (and8(byte(head, 2 * offset + i), m) != and8(byte(magic, i), m)) exit 1
        }
        print interpreter
      }' "$entry" && return 0
  done
  return 0
}

# A prefix of the build's own, never ~/.wine; quiet unless WINEDEBUG says otherwise.
# DLL overrides:
#   mscoree,mshtml=        no Mono or Gecko prompts
#   winemenubuilder.exe=d  Wine writes no menu entries or file associations outside the prefix
#   rasapi32=n,b           a RAS stand-in put in system32 is loaded instead of Wine's own;
#                          while Wine's file is there, Wine's built-in RAS is loaded as usual
# Overrides the caller had already set are kept, after ours; ours are added once however often
# this runs in one environment. Caches (fontconfig's, for Wine and ImageMagick) go beside the
# prefix, in the build folder, not under ~/.cache.
wine_use() {
  local ours="mscoree,mshtml=;winemenubuilder.exe=d;rasapi32=n,b"
  export WINEPREFIX="$1" WINEARCH=win32 WINELOADER="$WINE_LOADER"
  export WINEDEBUG="${WINEDEBUG:--all}"
  export XDG_CACHE_HOME="${1%/*}/cache"
  case "${WINEDLLOVERRIDES:-}" in
    "$ours"*) ;;
    *) export WINEDLLOVERRIDES="$ours${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}" ;;
  esac
}
