#!/bin/sh
# How scripts/setup-deps.sh copes with a package index that could not be fetched (a mirror in
# the middle of a sync), run against a stand-in apt-get that exits and speaks as apt does.
# Nothing is installed: dpkg reports every package missing, apt-get only records its calls.
set -u
root="$(cd "$(dirname "$0")/.." && pwd)"
codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
[ -n "$codename" ] || { echo "SKIPPED: /etc/os-release names no release"; exit 77; }
work=$(mktemp -d "${TMPDIR:-/tmp}/setup-deps-test.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"

# apt-get: "update" exits $STUB_UPDATE; each "install" takes the next exit code of
# $STUB_INSTALLS; --assume-no (the size estimate) answers as apt does and aborts.
cat >"$work/bin/apt-get" <<'EOF'
#!/bin/sh
echo "$*" >>"$STUB_DIR/calls"
case " $* " in
  *" update "*)
    if [ "$STUB_UPDATE" -ne 0 ]; then
      echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?" >&2
      echo "E: Some index files failed to download. They have been ignored, or old ones used instead." >&2
    fi
    exit "$STUB_UPDATE" ;;
  *" --assume-no "*)
    echo "Need to get 1,024 kB of archives."
    echo "Abort."
    exit 1 ;;
  *" install "*)
    n=$(grep -v -e ' --assume-no ' "$STUB_DIR/calls" | grep -c ' install ')
    code=$(echo "$STUB_INSTALLS" | awk -v n="$n" '{ print $n }')
    if [ "${code:-0}" -ne 0 ]; then
      echo " wine32:i386 : Depends: libssl3:i386 but it is not going to be installed"
      echo "E: Unable to correct problems, you have held broken packages." >&2
    fi
    exit "${code:-0}" ;;
esac
exit 0
EOF
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg"          # dpkg -s: not installed
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin/"*

failures=0
fail() { echo "FAIL [$case]: $*"; failures=$((failures + 1)); }

# Runs the release set-up; $1: update's exit code, $2: the installs' exit codes in turn.
run() {
  rm -rf "$work/build" "$work/calls"
  : >"$work/calls"
  STUB_DIR="$work" STUB_UPDATE="$1" STUB_INSTALLS="$2" BUILD_DIR="$work/build" \
    PATH="$work/bin:$PATH" LINKVIGIL_SET_UP="" "$root/scripts/setup-deps.sh" release \
    >"$work/out" 2>&1
  status=$?
  installs=$(grep -v -e ' --assume-no ' "$work/calls" | grep -c ' install ')
}
said() { grep -q -e "$1" "$work/out"; }

case="update fails, install succeeds"
run 100 "0"
[ $status -eq 0 ] || fail "exit $status"
said "warning: apt-get update failed, installing anyway" || fail "no warning"
[ "$(grep -c 'warning' "$work/out")" -eq 1 ] || fail "the warning is not one line"
[ "$installs" -eq 1 ] || fail "$installs installs, expected 1"
grep ' install ' "$work/calls" | grep -q -e ' -t ' && fail "installed from a chosen release"

case="update fails, install fails, the release's own suites install"
run 100 "100 0"
[ $status -eq 0 ] || fail "exit $status"
[ "$installs" -eq 2 ] || fail "$installs installs, expected 2"
grep ' install ' "$work/calls" | tail -n 1 | grep -q -e "-t $codename install" ||
  fail "the second install does not prefer $codename: $(tail -n 1 "$work/calls")"
said "trying again with the packages of $codename's own suites" || fail "the retry is not said"

case="everything fails"
run 100 "100 100"
[ $status -ne 0 ] || fail "exit 0"
[ "$installs" -eq 2 ] || fail "$installs installs, expected 2"
said "Likely cause: a package index could not be fetched" || fail "no likely cause"
said "try again later" || fail "no advice"
cause=$(grep -n "Likely cause" "$work/out" | cut -d: -f1)
tail=$(grep -n "held broken packages" "$work/out" | tail -n 1 | cut -d: -f1)
[ -n "$cause" ] && [ -n "$tail" ] && [ "$cause" -lt "$tail" ] || fail "the cause is not above apt's tail"

case="update succeeds, install fails"
run 0 "100 0"
[ $status -ne 0 ] || fail "exit 0: a failed install after a good update was retried"
[ "$installs" -eq 1 ] || fail "$installs installs, expected 1"
said "Likely cause" && fail "blames the index, which was fetched"
said "held broken packages" || fail "apt's tail not shown"

case="nothing missing"
: >"$work/calls"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/dpkg"
run 100 "100"
[ $status -eq 0 ] || fail "exit $status"
[ -s "$work/calls" ] && fail "apt-get was called: $(cat "$work/calls")"

if [ $failures -ne 0 ]; then
  echo "--- last output:"
  cat "$work/out"
  exit 1
fi
echo "setup-deps: all cases pass"
