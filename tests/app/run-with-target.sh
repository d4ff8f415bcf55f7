#!/bin/bash
# Runs the dialog tests of one scenario under Wine with real serial lines:
# starts the native kestrune-target (or a silent pseudo-terminal) for each
# port, links it as COMn in the session's Wine prefix, runs the test program
# with the port names in the environment, then checks how each target ended.
#
#   run-with-target.sh --exe EXE --emulator WINE_RUN --build DIR --native-bin DIR --filter GTEST_FILTER
#       [--image BYTES]                       make image.bin (KESTRUNE_TEST_IMAGE)
#       [--target COMn STATUS "ARGS"]...      kestrune-target ARGS; STATUS: exit code or "any"
#       [--silent COMn]...                    a line that never answers
#       [--device COMn PATH]...               COMn is PATH itself (e.g. /dev/null; may name @WORK@)
#
# ARGS may name @IMAGE@ (the generated image) and @WORK@ (a scratch folder,
# KESTRUNE_TEST_WORK to the tests).
# With --target STATUS set, the target's received image (--out) must also equal
# image.bin when STATUS is 0.
set -uo pipefail

exe= build= native= filter= image_size= emulator=
lines=()
while [ $# -gt 0 ]; do
  case $1 in
    --exe) exe=$2; shift 2 ;;
    --emulator) emulator=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --native-bin) native=$2; shift 2 ;;
    --filter) filter=$2; shift 2 ;;
    --image) image_size=$2; shift 2 ;;
    --target) lines+=("target|$2|$3|$4"); shift 4 ;;
    --silent) lines+=("silent|$2||"); shift 2 ;;
    --device) lines+=("device|$2||$3"); shift 3 ;;
    *) echo "unknown argument $1" >&2; exit 2 ;;
  esac
done

env_file=${KESTRUNE_WINE_ENV:-$build/wine.env}
if [ ! -f "$env_file" ]; then
  echo "no Wine session ($env_file): run tools/wine-session.sh start $build" >&2
  exit 1
fi
# shellcheck disable=SC1090
. "$env_file"
dosdevices=$WINEPREFIX/dosdevices
target_bin=$native/target/kestrune-target
if printf '%s\n' "${lines[@]}" | grep -q '^target|' && [ ! -x "$target_bin" ]; then
  echo "kestrune-target not built: $target_bin" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/kestrune-app.XXXXXX")
saved=$work/saved-links
mkdir -p "$saved" "$work/no-port"
pids=()
ports=()

to_windows() { printf 'Z:%s' "$1" | tr '/' '\\'; }

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  for n in $(seq 1 16); do rm -f "$dosdevices/com$n"; done
  # Ports above COM16 that the scenario linked.
  for name in "${ports[@]}"; do rm -f "$dosdevices/$(echo "$name" | tr 'A-Z' 'a-z')"; done
  for link in "$saved"/com*; do
    [ -L "$link" ] && mv "$link" "$dosdevices/"
  done
  rm -rf "$work"
}
trap cleanup EXIT

# The scenario owns COM1..COM16: keep the prefix's own links aside meanwhile.
for n in $(seq 1 16); do
  if [ -L "$dosdevices/com$n" ] || [ -e "$dosdevices/com$n" ]; then
    mv "$dosdevices/com$n" "$saved/"
  fi
done

if [ -n "$image_size" ]; then
  python3 - "$work/image.bin" "$image_size" <<'PY'
import random, sys
rng = random.Random(1234)
open(sys.argv[1], "wb").write(bytes(rng.randrange(256) for _ in range(int(sys.argv[2]))))
PY
  export KESTRUNE_TEST_IMAGE
  KESTRUNE_TEST_IMAGE=$(to_windows "$work/image.bin")
fi

# Waits for the first line of FILE (the pseudo-terminal path) and links it.
link_port() {
  local name=$1 file=$2 pty=
  for _ in $(seq 1 200); do
    pty=$(head -n 1 "$file" 2>/dev/null)
    [ -n "$pty" ] && [ -e "$pty" ] && break
    pty=
    sleep 0.05
  done
  if [ -z "$pty" ]; then
    echo "no pseudo-terminal for $name" >&2
    return 1
  fi
  ln -sf "$pty" "$dosdevices/$(echo "$name" | tr 'A-Z' 'a-z')"
}

# Lines in the order given, which is the order of KESTRUNE_TEST_PORTS.
declare -A target_pid target_status
for line in "${lines[@]}"; do
  IFS='|' read -r kind name status args <<<"$line"
  if [ "$kind" = device ]; then
    args=${args//@WORK@/$work}
    ln -sf "$args" "$dosdevices/$(echo "$name" | tr 'A-Z' 'a-z')"
    ports+=("$name")
    continue
  elif [ "$kind" = target ]; then
    args=${args//@IMAGE@/$work/image.bin}
    args=${args//@WORK@/$work}
    # shellcheck disable=SC2086
    "$target_bin" $args >"$work/$name.out" 2>"$work/$name.err" &
    target_pid[$name]=$!
    target_status[$name]=$status
  else
    python3 -u -c '
import os, pty, time
master, slave = pty.openpty()
print(os.ttyname(slave), flush=True)
# Keep both ends open; read and drop whatever the host sends.
os.set_blocking(master, False)
while True:
    try:
        os.read(master, 4096)
    except OSError:
        pass
    time.sleep(0.01)
' >"$work/$name.out" 2>"$work/$name.err" &
  fi
  pids+=("$!")
  link_port "$name" "$work/$name.out" || exit 1
  ports+=("$name")
done

# Wine opens COMn as the n-th /dev/ttyS device when no link names it; a link
# to an empty folder (which no one can open as a port) keeps the ports the
# scenario does not use absent.
for n in $(seq 1 16); do
  [ -e "$dosdevices/com$n" ] || [ -L "$dosdevices/com$n" ] || ln -s "$work/no-port" "$dosdevices/com$n"
done

export KESTRUNE_TEST_PORTS="${ports[*]}"
export KESTRUNE_TEST_WORK
KESTRUNE_TEST_WORK=$(to_windows "$work")
"${emulator:-$(dirname "$0")/../../cmake/wine-run.sh}" "$exe" --gtest_filter="$filter"
result=$?

for name in "${!target_pid[@]}"; do
  pid=${target_pid[$name]}
  want=${target_status[$name]}
  if [ "$want" = any ]; then
    kill "$pid" 2>/dev/null
    continue
  fi
  # The target judges the run once the host has left; give it time.
  for _ in $(seq 1 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then
    echo "target on $name did not end" >&2
    kill "$pid"
    result=1
    continue
  fi
  wait "$pid"
  got=$?
  if [ "$got" != "$want" ]; then
    echo "target on $name ended with $got, expected $want:" >&2
    cat "$work/$name.err" >&2
    result=1
  elif [ "$want" = 0 ] && [ -f "$work/$name.received" ] && ! cmp -s "$work/$name.received" "$work/image.bin"; then
    echo "target on $name received an image that differs from image.bin" >&2
    result=1
  fi
done
exit $result
