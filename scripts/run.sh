#!/usr/bin/env bash
# Sets up what is missing, builds, and starts Linkvigil.exe under Wine with the RAS stand-in
# as the system's RAS library (Wine's own reports no connections). Without a display it plays
# a short scenario on a virtual one and leaves a screenshot and the log in build/run/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
. "$root/scripts/wine-env.sh"
wine_utf8_locale
wine_setup "$root"
build="${BUILD_DIR:-$root/build}"
# Only what runs: the program, the stand-in and its control program (no tests, no benchmarks).
BUILD_DIR="$build" "$root/scripts/build.sh" --target Linkvigil --target rasstub_full \
  --target rasctl

run="$build/run"
prefix="$build/wineprefix-run"
mkdir -p "$run"
[ -f "$prefix/.ready" ] || echo "Preparing Wine: a prefix for the program in $prefix"
"$root/scripts/make-wineprefix.sh" "$prefix"
wine_use "$prefix"
# The stand-in goes where the program loads RASAPI32.DLL from: never beside the executable.
cp "$build/rasstub/full/rasapi32.dll" "$prefix/drive_c/windows/system32/rasapi32.dll"
cp "$build/bin/Linkvigil.exe" "$run/Linkvigil.exe"
# The server stays up while this runs, and no longer: one left behind would keep the next
# run waiting for it in make-wineprefix.sh.
wineserver -p </dev/null >/dev/null 2>&1
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
"$WINE_LOADER" "$build/rasstub/rasctl.exe" reset >/dev/null

rasctl="$root/scripts/rasctl.sh"
log="$run/LogFile.txt"

# Waits until the log has a line containing $1 (the program flushes every line).
wait_for_log() {
  for _ in $(seq 1 200); do
    grep -qF -- "$1" "$log" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "run.sh: the log never showed: $1" >&2
  return 1
}

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "Running: Linkvigil on $DISPLAY; its log is $log"
  echo "Bring the AOL connection up and down from another terminal with:"
  echo "  $rasctl up \"AOL L2TP\" 10.0.0.7"
  echo "  $rasctl down \"AOL L2TP\""
  echo "  $rasctl list        ($rasctl help lists every command)"
  cd "$run" && "$WINE_LOADER" Linkvigil.exe
  exit
fi

# No display: a virtual one, a scripted scenario, a screenshot. Xvfb takes a free display
# number itself and writes it to the file once it accepts connections.
rm -f "$run/display"
Xvfb -displayfd 3 -screen 0 640x360x24 3>"$run/display" >/dev/null 2>&1 &
xvfb_pid=$!
trap 'wineserver -k >/dev/null 2>&1 || true; kill $xvfb_pid 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
  [ -s "$run/display" ] && break
  sleep 0.1
done
[ -s "$run/display" ] || { echo "run.sh: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$run/display")"
echo "Running: Linkvigil on a virtual display ($DISPLAY); its log is $log"
rm -f "$log"
(cd "$run" && "$WINE_LOADER" explorer /desktop=Linkvigil,480x200 Linkvigil.exe >/dev/null 2>&1 &)
wait_for_log "installed on this system"
sleep 1
echo "Scenario: connect with 10.0.0.7, disconnect, connect with 10.0.0.5"
"$rasctl" up "AOL L2TP" 10.0.0.7 && wait_for_log "IP address: 10.0.0.7."
"$rasctl" down "AOL L2TP" && wait_for_log "disconnected from the Internet."
"$rasctl" up "AOL L2TP" 10.0.0.5 && wait_for_log "IP address: 10.0.0.5."
sleep 1
import -window root -crop 480x200+0+0 "$run/linkvigil.png"
echo "Screenshot: $run/linkvigil.png"
echo "Log:        $log"
cat "$log"
