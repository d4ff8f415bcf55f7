#!/bin/bash
# Starts or stops the Wine session the Windows tests run in:
# a private prefix inside the build tree, one persistent wineserver and an
# Xvfb display. "start" writes BUILD/wine.env, which cmake/wine-run.sh reads.
#   tools/wine-session.sh start|stop [BUILD_DIR]   (default build/windows)
set -euo pipefail
cmd=${1:?start or stop}
build=$(realpath -m "${2:-$(dirname "$0")/../build/windows}")
mkdir -p "$build"
env_file=$build/wine.env
export WINEPREFIX=$build/wineprefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

stop() {
  if [ -f "$env_file" ]; then
    # shellcheck disable=SC1090
    . "$env_file"
    wineserver -k >/dev/null 2>&1 || true
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
    rm -f "$env_file"
  fi
}

case $cmd in
start)
  stop
  display=
  for n in $(seq 90 140); do
    if [ ! -e /tmp/.X$n-lock ] && [ ! -e /tmp/.X11-unix/X$n ]; then display=$n; break; fi
  done
  [ -n "$display" ] || { echo "no free X display" >&2; exit 1; }
  # KESTRUNE_XVFB_SCREEN: a larger screen, for a dialog at a high display scale.
  Xvfb ":$display" -screen 0 "${KESTRUNE_XVFB_SCREEN:-1280x1024x24}" -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 1 50); do [ -e /tmp/.X11-unix/X$display ] && break; sleep 0.1; done
  export DISPLAY=:$display
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 || true
    # The server wineboot started must be gone before the persistent one starts.
    wineserver -w
  fi
  # Its output (and the object dump it prints when killed) goes to a log, not the test report.
  wineserver -p >"$build/wineserver.log" 2>&1
  # No window manager runs on Xvfb: unmanaged windows spare every top-level
  # window a 2 s wait for a WM_STATE change when it is hidden or destroyed.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 || true
  # The first process of a new server session rewrites dosdevices/com*; let it run now.
  wine cmd /c exit >/dev/null 2>&1 || true
  cat > "$env_file" <<ENV
export WINEPREFIX=$WINEPREFIX
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export DISPLAY=:$display
XVFB_PID=$xvfb_pid
ENV
  echo "wine session: prefix $WINEPREFIX, display :$display"
  ;;
stop) stop ;;
*) echo "usage: $0 start|stop [BUILD_DIR]" >&2; exit 2 ;;
esac
