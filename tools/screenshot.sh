#!/bin/bash
# make screenshot: takes docs/screenshot.png, the main dialog after a
# successful download of samples/demo-firmware.hex into kestrune-target.
# Runs in a Wine session of its own (private prefix, Xvfb display), so it
# disturbs neither the test session nor the desktop. Given a DPI other than
# 96, the display runs at that scale and the picture is docs/screenshot-DPIdpi.png.
#   tools/screenshot.sh NATIVE_BUILD WINDOWS_BUILD [DPI]
#   (e.g. build/native-release build/windows 144)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tools/start-target.sh
. "$root/tools/start-target.sh"
native=$(realpath "${1:-$root/build/native-release}")
windows=$(realpath "${2:-$root/build/windows}")
target=$native/target/kestrune-target
driver=$windows/tests/app/app_screenshot_driver.exe
firmware=$root/samples/demo-firmware.hex
dpi=${3:-96}
output=$root/docs/screenshot.png
[ "$dpi" = 96 ] || output=$root/docs/screenshot-${dpi}dpi.png
for file in "$target" "$driver" "$firmware"; do
  [ -e "$file" ] || { echo "screenshot: $file is missing; build first (make screenshot does)" >&2; exit 1; }
done
command -v import >/dev/null && command -v convert >/dev/null ||
  { echo "screenshot: ImageMagick (import, convert) is needed: tools/install-deps.sh" >&2; exit 1; }

session=$windows/screenshot
work=$(mktemp -d)
target_pid=
driver_pid=
cleanup() {
  [ -n "$driver_pid" ] && kill "$driver_pid" 2>/dev/null
  [ -n "$target_pid" ] && kill "$target_pid" 2>/dev/null
  wait 2>/dev/null || true
  "$root/tools/wine-session.sh" stop "$session" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

KESTRUNE_XVFB_SCREEN=2560x1600x24 "$root/tools/wine-session.sh" start "$session" >"$work/session.log" 2>&1 ||
  { echo "screenshot: the Wine session did not start" >&2; cat "$work/session.log" >&2; exit 1; }
# shellcheck disable=SC1091
. "$session/wine.env"
# Wine takes the display scale from here as each process starts; the prefix
# is kept between runs, so it is set every time.
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1 ||
  { echo "screenshot: the display scale could not be set" >&2; exit 1; }

start_target "$target" "$work" --baud 115200 --expect "$firmware" --timeout 300 ||
  { echo "screenshot: kestrune-target did not start" >&2; cat "$work/target.err" >&2; exit 1; }
ln -sfn "$port" "$WINEPREFIX/dosdevices/com1"

to_windows() { printf 'Z:%s' "$1" | tr '/' '\\'; }
state=$work/state
wine "$driver" "$(to_windows "$firmware")" "$(to_windows "$state")" >"$work/driver.log" 2>&1 &
driver_pid=$!
for _ in $(seq 1 1800); do
  [ -s "$state" ] && break
  kill -0 "$driver_pid" 2>/dev/null || break
  sleep 0.1
done
[ -s "$state" ] || { echo "screenshot: the download did not succeed" >&2; cat "$work/driver.log" >&2; exit 1; }
read -r left top right bottom < <(tr -d '\r' <"$state")
sleep 1  # let the last repaint reach the X server
import -display "$DISPLAY" -window root "$work/screen.png"
mkdir -p "$(dirname "$output")"
convert "$work/screen.png" -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$output"
touch "$state.done"

status=0
wait "$driver_pid" || status=$?
driver_pid=
target_status=0
wait "$target_pid" || target_status=$?
target_pid=
if [ "$status" -ne 0 ] || [ "$target_status" -ne 0 ]; then
  echo "screenshot: FAILED (driver exit $status, kestrune-target exit $target_status)" >&2
  exit 1
fi
echo "screenshot: ${output#"$root"/} ($((right - left))x$((bottom - top)))"
