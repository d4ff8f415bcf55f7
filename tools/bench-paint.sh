#!/bin/bash
# Hex view paint benchmark under Wine: one full paint of an 800 x 600 control
# showing a 64 MiB image and a 1 KiB image (medians), and their ratio.
#   tools/bench-paint.sh BUILD_WINDOWS [REPETITIONS]
# Uses the build's running Wine session if there is one, else starts one for
# the run and stops it afterwards.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
windows=$(realpath "${1:?usage: $0 BUILD_WINDOWS [REPETITIONS]}")
repetitions=${2:-400}
exe=$windows/bench/bench_hexedit_paint.exe
[ -f "$exe" ] || cmake --build "$windows" --target bench_hexedit_paint >/dev/null
session_started=
cleanup() { [ -n "$session_started" ] && "$root/tools/wine-session.sh" stop "$windows"; }
trap cleanup EXIT
if [ ! -f "$windows/wine.env" ]; then
  "$root/tools/wine-session.sh" start "$windows" >/dev/null
  session_started=1
fi
# shellcheck disable=SC1091
. "$windows/wine.env"
wine "$exe" "$repetitions"
