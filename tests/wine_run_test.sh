#!/bin/sh
# How <build>/wine-run deals out the Wine slots that tests run in at once, and how
# scripts/make-wineprefix.sh copies prefixes, without Wine: a stand-in loader reports how it
# was run, and a stand-in wineserver answers at once. Checks the resource file CTest is given
# (one slot per prefix), that each slot has its own prefix, display and scratch folder, that
# every prefix shows the build folder as the tests' drive and the scratch folder lies on it
# (not on Z:, where its path would be the clone's), that a program holds its slot's lock
# while it runs and no other, that a slot CTest never gave is refused, that no process a
# program leaves holds the caller's output, and that the servers' start leaves its long-lived
# processes detached and up. Prints one line
# per wrong answer. Usage: wine_run_test.sh BUILD_DIR
set -u
build="$(cd "$1" && pwd)"
root="$(cd "$(dirname "$0")/.." && pwd)"
work=$(mktemp -d "${TMPDIR:-/tmp}/wine-run-test.XXXXXX")
trap 'touch "$work/release"; rm -rf "$work"' EXIT
failures=0
wrong() {
  echo "wrong: $*"
  failures=$((failures + 1))
}

slots=$(sed -n 's/^LINKVIGIL_WINE_SLOTS:STRING=//p' "$build/CMakeCache.txt")
[ "${slots:-0}" -ge 1 ] || { echo "no LINKVIGIL_WINE_SLOTS in $build/CMakeCache.txt"; exit 1; }
# The build's wine-run, for a build in $work: tests of the build may run in its slots meanwhile.
grep -qxF "build=\"$build\"" "$build/wine-run" || wrong "wine-run does not name the build $build"
drive=$(sed -n 's/^drive=//p' "$build/wine-run")
case "$drive" in
  [ABD-Y]:) ;;
  *) wrong "the build's drive in wine-run is \"$drive\", not a letter of its own (not C:, Z:)" ;;
esac
mkdir -p "$work/build"
sed "s|^build=.*|build=\"$work/build\"|" "$build/wine-run" >"$work/build/wine-run"
chmod +x "$work/build/wine-run"
build="$work/build"

# The resource file: one resource "wine" with the ids 0 .. slots-1, one slot each, and one
# "processor" (tests/schedule.cmake).
got=$(python3 -c '
import json, sys
local = json.load(open(sys.argv[1]))
print(local["version"]["major"], *(name + " " + " ".join(s["id"] + ":" + str(s["slots"])
      for s in local["local"][0][name]) for name in ("wine", "processor")))
' "$1/wine-slots.json" 2>&1)
want="1 wine"
n=0
while [ "$n" -lt "$slots" ]; do want="$want $n:1"; n=$((n + 1)); done
want="$want processor 0:1"
[ "$got" = "$want" ] || wrong "wine-slots.json holds \"$got\", not \"$want\""

# The stand-in loader: prints what a Windows program would see; with "hold", it stays until
# $work/release exists (a minute at most), having said it started.
cat >"$work/loader" <<'LOADER'
#!/bin/sh
if [ "$1" = hold ]; then
  touch "$WORK/started-$2"
  i=0
  while [ ! -e "$WORK/release" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
  exit 0
fi
case "$1" in
  # Leaves a process behind that holds its output, as Wine's desktop process would.
  linger)
    (i=0; while [ -d "$WORK" ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done) &
    echo lingering
    echo "to stderr" >&2
    exit 3 ;;
  # Wine killed by SIGSEGV as the process ends, after the program's last line.
  segv)
    shift
    printf '%s\r\n' "$@"
    kill -SEGV $$ ;;
  # The servers' start: says where its output went; the holder returns after a while.
  cmd.exe) exit 0 ;;
  */desktop_holder.exe)
    sleep 1
    echo "$(readlink /proc/$$/fd/0) $(readlink /proc/$$/fd/1) $(readlink /proc/$$/fd/2)" \
      >"$WINEPREFIX/held"
    exit 0 ;;
esac
echo "prefix=$WINEPREFIX display=${DISPLAY:-} scratch=$LINKVIGIL_TEST_SCRATCH args=$*"
case "$WINEDLLOVERRIDES" in *rasapi32=n,b*) ;; *) echo "no RAS override: $WINEDLLOVERRIDES" ;; esac
LOADER
chmod +x "$work/loader"
run() { # [VARIABLE=VALUE...] wine-run ARGUMENTS...: apart from the slot this test runs in
  env -u CTEST_RESOURCE_GROUP_COUNT -u CTEST_RESOURCE_GROUP_0 -u CTEST_RESOURCE_GROUP_0_WINE \
    -u LINKVIGIL_DISPLAYS WORK="$work" LINKVIGIL_WINE_LOADER="$work/loader" DISPLAY=:inherited "$@"
}

# A slot whose prefix the build has not made yet: refused, nothing run (Wine would make one
# without the tests' settings).
got=$(run "$build/wine-run" x.exe 2>&1)
status=$?
case "$status:$got" in
  2:*"slot 0's prefix is not made"*"--target wineprefix"*) ;;
  *) wrong "without a prefix, wine-run answered $status: \"$got\"" ;;
esac
n=0
while [ "$n" -lt "$slots" ]; do
  if [ "$n" -eq 0 ]; then p="$build/wineprefix"; else p="$build/wineprefix-$n"; fi
  mkdir -p "$p/dosdevices" && touch "$p/.ready"
  n=$((n + 1))
done

# Each slot: its own prefix, the display listed in its place, its own scratch folder.
displays=""
n=0
while [ "$n" -lt "$slots" ]; do displays="$displays :d$n"; n=$((n + 1)); done
n=0
seen=""
while [ "$n" -lt "$slots" ]; do
  if [ "$n" -eq 0 ]; then suffix=""; else suffix="-$n"; fi
  want="prefix=$build/wineprefix$suffix display=:d$n scratch=$drive/test-scratch$suffix args=x.exe a b"
  got=$(run CTEST_RESOURCE_GROUP_0_WINE="id:$n,slots:1" LINKVIGIL_DISPLAYS="$displays" \
    "$build/wine-run" x.exe a b 2>&1)
  [ "$got" = "$want" ] || wrong "slot $n: \"$got\", not \"$want\""
  # The drive is the folder that holds the prefix, wherever that folder is.
  link="$build/wineprefix$suffix/dosdevices/$(echo "$drive" | tr 'A-Z' 'a-z')"
  [ "$(cd "$link" 2>/dev/null && pwd -P)" = "$(cd "$build" && pwd -P)" ] ||
    wrong "slot $n's drive $drive is not the build folder: $(ls -l "$link" 2>&1)"
  case "$seen" in *"|$got|"*) wrong "slot $n shares what another slot has" ;; esac
  seen="$seen|$got|"
  n=$((n + 1))
done

# Outside CTest's allocation (a test run by hand): slot 0, on the display given.
want="prefix=$build/wineprefix display=:inherited scratch=$drive/test-scratch args=y.exe"
got=$(run "$build/wine-run" y.exe 2>&1)
[ "$got" = "$want" ] || wrong "no slot: \"$got\", not \"$want\""
# Fewer displays listed than slots: the last slots keep the display given.
if [ "$slots" -gt 1 ]; then
  last=$((slots - 1))
  got=$(run CTEST_RESOURCE_GROUP_0_WINE="id:$last,slots:1" LINKVIGIL_DISPLAYS=":only" \
    "$build/wine-run" z.exe 2>&1)
  case "$got" in *"display=:inherited "*) ;; *) wrong "slot $last without a display: \"$got\"" ;; esac
fi

# A slot CTest cannot have given: refused, nothing run.
for bad in "id:$slots,slots:1" "id:-1,slots:1" "id:x,slots:1" "id:1" "gpu:0,slots:1"; do
  got=$(run CTEST_RESOURCE_GROUP_0_WINE="$bad" "$build/wine-run" x.exe 2>&1)
  status=$?
  case "$status:$got" in
    2:*"no slot $bad"*) ;;
    *) wrong "slot \"$bad\" answered $status: \"$got\"" ;;
  esac
done

# A program holds its slot's lock while it runs, and only its own slot's.
busy=$((slots - 1))
run CTEST_RESOURCE_GROUP_0_WINE="id:$busy,slots:1" "$build/wine-run" hold "$busy" &
holder=$!
i=0
while [ ! -e "$work/started-$busy" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done
if [ ! -e "$work/started-$busy" ]; then
  wrong "the program in slot $busy never started"
else
  if [ "$busy" -eq 0 ]; then lock="$build/wineprefix.lock"; else lock="$build/wineprefix-$busy.lock"; fi
  flock -n "$lock" true && wrong "slot $busy's lock is free while a program runs in it"
  if [ "$busy" -gt 0 ]; then
    flock -n "$build/wineprefix.lock" true || wrong "slot 0's lock is taken by slot $busy's program"
  fi
  touch "$work/release"
  wait "$holder" || wrong "the program in slot $busy did not end well"
  flock -n "$lock" true || wrong "slot $busy's lock stays taken after its program ended"
fi

# A process the program leaves behind never holds the caller's output: the program's own
# output and exit status come through, at once.
start=$(date +%s)
got=$(run "$build/wine-run" linger 2>"$work/linger.err")
status=$?
[ $(($(date +%s) - start)) -lt 20 ] || wrong "wine-run waited for the program's lingering process"
[ "$status:$got:$(cat "$work/linger.err")" = "3:lingering:to stderr" ] ||
  wrong "a program that left a process: $status, \"$got\", \"$(cat "$work/linger.err")\""

# Wine's own crash as a process ends (status 139) passes only after a GoogleTest summary in
# which every case passed and none failed; the program's output comes through either way.
for case in "0|[  PASSED  ] 1 test." "0|[  PASSED  ] 12 tests." \
            "139|[  PASSED  ] 1 test.|[  FAILED  ] 1 test, listed below:" "139|[ RUN      ] A.B" \
            "139|"; do
  want=${case%%|*}
  lines=${case#*|}
  old_ifs=$IFS
  IFS='|'
  # shellcheck disable=SC2086
  got=$(run "$build/wine-run" segv $lines 2>"$work/segv.err")
  status=$?
  IFS=$old_ifs
  [ "$status" = "$want" ] || wrong "Wine's crash after \"$lines\": $status, not $want"
  [ "$(printf '%s' "$got" | tr -d '\r' | tr '\n' '|')" = "$lines" ] ||
    wrong "Wine's crash after \"$lines\": the output came through as \"$got\""
done

# The servers' start: each slot's desktop holder run detached from the output (as every long-lived
# process that the start leaves), and done before the start returns.
mkdir -p "$work/bin"
printf '#!/bin/sh\nexit 0\n' >"$work/bin/wineserver"
chmod +x "$work/bin/wineserver"
got=$(run PATH="$work/bin:$PATH" "$build/wine-run" --server-start 2>&1)
status=$?
[ "$status:$got" = "0:" ] || wrong "--server-start answered $status: \"$got\""
n=0
while [ "$n" -lt "$slots" ]; do
  if [ "$n" -eq 0 ]; then p="$build/wineprefix"; else p="$build/wineprefix-$n"; fi
  [ "$(cat "$p/held" 2>&1)" = "/dev/null /dev/null /dev/null" ] ||
    wrong "slot $n's desktop holder, when the start returned: $(cat "$p/held" 2>&1)"
  n=$((n + 1))
done

# Copies of a prefix (from another build's, and of it): whole, apart, none left half made. The
# stand-in wineserver says at once that no server runs.
mkdir -p "$work/template/drive_c/windows"
echo registry >"$work/template/system.reg"
echo file >"$work/template/drive_c/windows/win.ini"
touch "$work/template/.ready"
if ! PATH="$work/bin:$PATH" "$root/scripts/make-wineprefix.sh" --for-tests --from "$work/template" \
     "$work/p" "$work/p-1" "$work/p-2" >"$work/make.log" 2>&1; then
  wrong "make-wineprefix.sh failed: $(cat "$work/make.log")"
fi
for p in p p-1 p-2; do
  [ -f "$work/$p/.ready" ] && cmp -s "$work/template/system.reg" "$work/$p/system.reg" &&
    cmp -s "$work/template/drive_c/windows/win.ini" "$work/$p/drive_c/windows/win.ini" ||
    wrong "$p is no whole copy of the template"
  [ -e "$work/$p.making" ] && wrong "$p.making was left behind"
done
echo changed >"$work/p-1/drive_c/windows/win.ini"
[ "$(cat "$work/p/drive_c/windows/win.ini")" = file ] || wrong "a copy shares its files with p"

if [ "$failures" -gt 0 ]; then
  echo "$failures wrong"
  exit 1
fi
echo "wine-run: $slots slots, each apart; prefixes copied whole"
