#!/bin/bash
# The Win32 serial back end for real, under Wine: kestrune-target (native)
# listens on a pseudo-terminal that a link in the Wine prefix makes a COM port
# (dosdevices/comN), and the Windows kestrune-cli.exe lists it, downloads into
# it, and meets a target fault. COM13 checks the "\\.\" path of long names.
#   wine-download-test.sh TARGET CLI_EXE SAMPLES_DIR EMULATOR
# The Wine session (tools/wine-session.sh) must be running; its wine.env
# is found as the emulator finds it (KESTRUNE_WINE_ENV or build/windows).
set -u
target=$1 cli=$2 samples=$3 emulator=$4
env_file=${KESTRUNE_WINE_ENV:-$(dirname "$emulator")/../build/windows/wine.env}
[ -f "$env_file" ] || { echo "no Wine session: $env_file is missing (tools/wine-session.sh start)"; exit 1; }
# shellcheck disable=SC1090
. "$env_file"
export KESTRUNE_WINE_ENV=$env_file
dosdevices=$WINEPREFIX/dosdevices
work=$(mktemp -d)
pids=()
failures=0 passed=0

cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

check() {  # check DESCRIPTION true|false
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "ok: $what"
  else failures=$((failures + 1)); echo "FAILED: $what"; fi
}

windows_path() { echo "Z:${1//\//\\}"; }

# start_target NAME COMn ARGS...: the target's pid goes to pids, its output to $work/NAME.out
start_target() {
  local name=$1 com=$2; shift 2
  "$target" --link "$dosdevices/$com" --timeout 300 "$@" >"$work/$name.out" 2>"$work/$name.err" &
  pids+=($!)
  eval "${name}_pid=$!"
  for _ in $(seq 1 100); do [ -L "$dosdevices/$com" ] && [ -s "$work/$name.out" ] && return 0; sleep 0.1; done
  echo "kestrune-target $name did not start"; cat "$work/$name.err"; exit 1
}

# download PORT FILE: sets cli_exit, cli_out, cli_err
download() {
  timeout 300 "$emulator" "$cli" download --port "$1" "$(windows_path "$2")" >"$work/cli.out" 2>"$work/cli.err"
  cli_exit=$?
  cli_out=$(tr -d '\r' <"$work/cli.out") cli_err=$(tr -d '\r' <"$work/cli.err")
  echo "  kestrune-cli.exe download --port $1: exit $cli_exit; out: $cli_out; last error line: $(echo "$cli_err" | tail -n 1)"
}

err_ends_with() { [ "$(echo "$cli_err" | tail -n 1)" = "$1" ]; }

# target_exit NAME: waits for that target (not in a subshell: only this shell
# can wait for it) and sets target_status; its verdict goes to the log
target_exit() {
  local pid_var=${1}_pid
  wait "${!pid_var}"; target_status=$?
  echo "  kestrune-target $1: exit $target_status, $(tail -n 1 "$work/$1.out")"
}

hex=$samples/demo-firmware.hex bin=$samples/demo-firmware.bin

# Two targets: COM7 opens as it is, COM13 through "\\.\COM13".
start_target hexTarget com7 --expect "$hex"
start_target binTarget com13 --expect "$bin"

ports=$(timeout 120 "$emulator" "$cli" ports | tr -d '\r')
echo "  kestrune-cli.exe ports: $(echo "$ports" | tr '\n' ' ')"
ok=false
grep -qx COM7 <<<"$ports" && grep -qx COM13 <<<"$ports" && ! grep -qx COM14 <<<"$ports" && ok=true
check "ports lists COM7 and COM13, not the absent COM14" $ok

download COM7 "$hex"
ok=false; [ "$cli_exit" -eq 0 ] && [ "$cli_out" = "Download.....Success !" ] && ok=true
check "COM7: the HEX sample downloads (exit 0, Success)" $ok
target_exit hexTarget
ok=false; [ "$target_status" -eq 0 ] && ok=true
check "COM7: the target verified the image byte for byte" $ok

download COM13 "$bin"
ok=false; [ "$cli_exit" -eq 0 ] && [ "$cli_out" = "Download.....Success !" ] && ok=true
check "COM13 (opened as \\\\.\\COM13): the binary sample downloads" $ok
target_exit binTarget
ok=false; [ "$target_status" -eq 0 ] && ok=true
check "COM13: the target verified the image byte for byte" $ok

# Gang: both COM links at once, one kestrune-cli.exe, one thread per port.
start_target gang7 com7 --expect "$bin"
start_target gang13 com13 --expect "$bin"
timeout 300 "$emulator" "$cli" download --port COM7 --port COM13 "$(windows_path "$bin")" \
  >"$work/cli.out" 2>"$work/cli.err"
cli_exit=$?
cli_out=$(tr -d '\r' <"$work/cli.out")
echo "  kestrune-cli.exe download --port COM7 --port COM13: exit $cli_exit; out: $(echo "$cli_out" | tr '\n' ' ')"
ok=false
[ "$cli_exit" -eq 0 ] && grep -qx "COM7: Download.....Success !" <<<"$cli_out" &&
  grep -qx "COM13: Download.....Success !" <<<"$cli_out" &&
  [ "$(echo "$cli_out" | tail -n 1)" = "2 of 2 boards succeeded" ] && ok=true
check "gang: COM7 and COM13 at once, each Success, then the summary" $ok
target_exit gang7; gang7_status=$target_status
target_exit gang13
ok=false; [ "$gang7_status" -eq 0 ] && [ "$target_status" -eq 0 ] && ok=true
check "gang: both targets verified their image" $ok

start_target nakTarget com7 --nak-block 3
download COM7 "$bin"
ok=false; [ "$cli_exit" -eq 8 ] && err_ends_with "Download.....Program Error !" && ok=true
check "a rejected block is Program Error (exit 8)" $ok
target_exit nakTarget
ok=false; [ "$target_status" -eq 5 ] && ok=true
check "the target reports the rejected block (exit 5)" $ok

rm -f "$dosdevices/com14"
download COM14 "$bin"
ok=false; [ "$cli_exit" -eq 5 ] && [ "$cli_err" = "Download.....Open com port error !" ] && ok=true
check "an absent port is Open com port error (exit 5)" $ok

echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
