#!/bin/bash
# make gui: starts Kestrune.exe under Wine on this X display with
# kestrune-target, a simulated boot loader paced like a 115200 baud line,
# attached as COM1. Load a file from samples/ and press Download; each
# download gets a fresh target run, whose verdict is printed here. The
# received image of the last run is in BUILD/gui/received.bin.
#   tools/gui.sh NATIVE_BUILD WINDOWS_BUILD   (e.g. build/native-release build/windows)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=$(realpath "${1:-$root/build/native-release}")
windows=$(realpath "${2:-$root/build/windows}")
target=$native/target/kestrune-target
program=$windows/app/Kestrune.exe
for file in "$target" "$program"; do
  [ -x "$file" ] || { echo "gui: $file is missing; build first (make gui does)" >&2; exit 1; }
done
if [ -z "${DISPLAY:-}" ]; then
  echo "gui: no X display (DISPLAY is not set); tools/screenshot.sh shows the dialog without one" >&2
  exit 1
fi

# A prefix of its own, so a running test session is not disturbed.
gui=$windows/gui
mkdir -p "$gui"
export WINEPREFIX=$gui/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "gui: preparing the Wine prefix (once)..."
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w
fi
# Its output (and the object dump it prints when killed) goes to a log.
wineserver -p 30 >"$gui/wineserver.log" 2>&1
# The first process of a server session rewrites dosdevices/com1: let it run first.
wine cmd /c exit >/dev/null 2>&1 || true

link=$gui/target-line
loop_pid=
cleanup() {
  [ -n "$loop_pid" ] && kill "$loop_pid" 2>/dev/null
  wait 2>/dev/null || true
  rm -f "$WINEPREFIX/dosdevices/com1"
}
trap cleanup EXIT

# A target run ends after one download (or when Kestrune leaves mid-transfer);
# start the next one at once, behind the same link.
(
  run=
  trap '[ -n "$run" ] && kill "$run" 2>/dev/null; exit 0' TERM
  while true; do
    "$target" --baud 115200 --link "$link" --out "$gui/received.bin" > >(sed -u '1d; s/^/kestrune-target: /') &
    run=$!
    wait "$run" || true
    sleep 0.2
  done
) &
loop_pid=$!
for _ in $(seq 1 100); do [ -L "$link" ] && break; sleep 0.1; done
[ -L "$link" ] || { echo "gui: kestrune-target did not start" >&2; exit 1; }
ln -sfn "$link" "$WINEPREFIX/dosdevices/com1"

echo "gui: Kestrune.exe with kestrune-target on COM1; load samples/demo-firmware.hex and press Download"
wine "$program" || true
