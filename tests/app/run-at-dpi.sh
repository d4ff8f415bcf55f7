#!/bin/bash
# Runs the dialog's display-scale tests once per DPI, each in a new process
# of a Wine session of its own (private prefix BUILD/dpi-session, its own
# wineserver and Xvfb display): the DPI is the LogPixels value of
# HKCU\Control Panel\Desktop, which Wine reads as a process starts, so
# setting it here reaches no other test.
#   run-at-dpi.sh --exe EXE --build DIR --filter GTEST_FILTER DPI...
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
exe= build= filter=
while [ $# -gt 0 ]; do
  case $1 in
    --exe) exe=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --filter) filter=$2; shift 2 ;;
    --*) echo "unknown argument $1" >&2; exit 2 ;;
    *) break ;;
  esac
done
[ -n "$exe" ] && [ -n "$build" ] && [ $# -gt 0 ] || { echo "usage: $0 --exe EXE --build DIR --filter F DPI..." >&2; exit 2; }

session=$build/dpi-session
stop() { "$root/tools/wine-session.sh" stop "$session" >/dev/null 2>&1; }
trap stop EXIT
if ! "$root/tools/wine-session.sh" start "$session" >"$build/dpi-session.log" 2>&1; then
  cat "$build/dpi-session.log" >&2
  exit 1
fi
# shellcheck disable=SC1091
. "$session/wine.env"

status=0
for dpi in "$@"; do
  echo "== $dpi DPI"
  if ! wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$dpi" /f >/dev/null 2>&1; then
    echo "LogPixels could not be set" >&2
    exit 1
  fi
  KESTRUNE_TEST_DPI=$dpi wine "$exe" --gtest_filter="$filter" || status=1
done
exit $status
