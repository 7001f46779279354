#!/usr/bin/env bash
# Sets up what is missing, builds, and starts Linkvigil.exe under Wine with the RAS stand-in
# as the system's RAS library (Wine's own reports no connections). Without a display it plays
# a short scenario on a virtual one and leaves a screenshot and the log in build/run/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
"$root/scripts/build.sh"

run="$build/run"
prefix="$build/wineprefix-run"
mkdir -p "$run"
"$root/scripts/make-wineprefix.sh" "$prefix"
export WINEPREFIX="$prefix" WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;rasapi32=n,b"
# The stand-in goes where the program loads RASAPI32.DLL from: never beside the executable.
cp "$build/rasstub/full/rasapi32.dll" "$prefix/drive_c/windows/system32/rasapi32.dll"
cp "$build/bin/Linkvigil.exe" "$run/Linkvigil.exe"
wineserver -p </dev/null >/dev/null 2>&1
wine "$build/rasstub/rasctl.exe" reset >/dev/null

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
  echo "Linkvigil is starting; its log is $log"
  echo "Bring the AOL connection up and down from another terminal with:"
  echo "  $rasctl up \"AOL L2TP\" 10.0.0.7"
  echo "  $rasctl down \"AOL L2TP\""
  echo "  $rasctl list        ($rasctl help lists every command)"
  cd "$run" && exec wine Linkvigil.exe
fi

# No display: a virtual one, a scripted scenario, a screenshot.
display=":$(( 90 + RANDOM % 100 ))"
Xvfb "$display" -screen 0 640x360x24 >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY="$display"
trap 'wineserver -k >/dev/null 2>&1 || true; kill $xvfb_pid 2>/dev/null || true' EXIT
sleep 1
rm -f "$log"
(cd "$run" && wine explorer /desktop=Linkvigil,480x200 Linkvigil.exe >/dev/null 2>&1 &)
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
