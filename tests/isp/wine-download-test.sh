#!/bin/bash
# The Win32 serial back end for real, under Wine: kestrune-target (native)
# listens on a pseudo-terminal that a link in the Wine prefix makes a COM port
# (dosdevices/comN), and the Windows kestrune-cli.exe lists it, downloads into
# it, and meets a target fault. COM13 checks the "\\.\" path of long names;
# COM20, registered under SERIALCOMM as a driver would, is listed after the
# COM1-16 probe. Ports that cannot be opened or set up, and one that goes away
# mid-transfer, are named with the reason before the outcome.
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
  rm -f "$dosdevices/com9" "$dosdevices/com20"
  "$emulator" reg delete 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v KestruneTest20 /f >/dev/null 2>&1
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

# download PORT FILE [OPTIONS]: sets cli_exit, cli_out, cli_err
download() {
  timeout 300 "$emulator" "$cli" download --port "$1" "${@:3}" "$(windows_path "$2")" >"$work/cli.out" 2>"$work/cli.err"
  cli_exit=$?
  cli_out=$(tr -d '\r' <"$work/cli.out") cli_err=$(tr -d '\r' <"$work/cli.err")
  echo "  kestrune-cli.exe download --port $1: exit $cli_exit; out: $cli_out; last error line: $(echo "$cli_err" | tail -n 1)"
}

err_ends_with() { [ "$(echo "$cli_err" | tail -n 1)" = "$1" ]; }
# err_line_before_outcome PREFIX: the line before the outcome starts with PREFIX
err_line_before_outcome() { [[ "$(echo "$cli_err" | tail -n 2 | head -n 1)" == "$1"* ]]; }

# target_exit NAME: waits for that target (not in a subshell: only this shell
# can wait for it) and sets target_status; its verdict goes to the log
target_exit() {
  local pid_var=${1}_pid
  wait "${!pid_var}"; target_status=$?
  echo "  kestrune-target $1: exit $target_status, $(tail -n 1 "$work/$1.out")"
}

hex=$samples/demo-firmware.hex bin=$samples/demo-firmware.bin

# Three targets: COM7 opens as it is, COM13 and COM20 through "\\.\COMn".
start_target hexTarget com7 --expect "$hex"
start_target binTarget com13 --expect "$bin"
start_target highTarget com20 --expect "$bin" --ready-interval 0 --baud 115200
"$emulator" reg add 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v KestruneTest20 /t REG_SZ /d COM20 /f >/dev/null 2>&1

ports=$(timeout 120 "$emulator" "$cli" ports | tr -d '\r')
echo "  kestrune-cli.exe ports: $(echo "$ports" | tr '\n' ' ')"
ok=false
[ "$(grep -xE 'COM(7|13|14|20)' <<<"$ports" | tr '\n' ' ')" = "COM7 COM13 COM20 " ] && ok=true
check "ports lists COM7, COM13 and the registered COM20 in that order, not the absent COM14" $ok

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

# Serial numbers: both COM links at once share one counter file; each board's
# image carries its own number (u32le at byte 32) and is otherwise the file's.
start_target serial7 com7 --out "$work/serial7.bin"
start_target serial13 com13 --out "$work/serial13.bin"
timeout 300 "$emulator" "$cli" download --port COM7 --port COM13 --serial 32 \
  --serial-file "$(windows_path "$work/counter")" --serial-start 900 "$(windows_path "$bin")" \
  >"$work/cli.out" 2>"$work/cli.err"
cli_exit=$?
cli_out=$(tr -d '\r' <"$work/cli.out")
echo "  kestrune-cli.exe download --serial ... --port COM7 --port COM13: exit $cli_exit; out: $(echo "$cli_out" | tr '\n' ' ')"
target_exit serial7; serial7_status=$target_status
target_exit serial13
numbers=$(for f in "$work/serial7.bin" "$work/serial13.bin"; do od -An -tu4 -j32 -N4 "$f" | tr -d ' '; done | sort | tr '\n' ' ')
stamped_only() { [ "$(cmp -l "$bin" "$1" | awk '$1 < 33 || $1 > 36' | wc -l)" -eq 0 ] && [ "$(stat -c %s "$1")" -eq "$(stat -c %s "$bin")" ]; }
echo "  numbers in the received images: $numbers; counter: $(cat "$work/counter")"
ok=false
[ "$cli_exit" -eq 0 ] && [ "$serial7_status" -eq 0 ] && [ "$target_status" -eq 0 ] &&
  [ "$numbers" = "900 901 " ] && stamped_only "$work/serial7.bin" && stamped_only "$work/serial13.bin" &&
  [ "$(tr -d '\r' <"$work/counter")" = "902" ] &&
  grep -qE "^COM(7|13): serial 90[01]: Download.....Success !$" <<<"$cli_out" && ok=true
check "serial numbers: COM7 and COM13 each get their own number from one counter" $ok

download COM20 "$bin" --baud 115200
ok=false; [ "$cli_exit" -eq 0 ] && [ "$cli_out" = "Download.....Success !" ] && ok=true
check "COM20: a boot loader that announces back to back is downloaded to" $ok
target_exit highTarget
ok=false; [ "$target_status" -eq 0 ] && ok=true
check "COM20: the target verified the image byte for byte" $ok

start_target goneTarget com7 --hangup-after-block 2
download COM7 "$bin"
ok=false
[ "$cli_exit" -eq 9 ] && err_ends_with "Download.....Read time out !" &&
  err_line_before_outcome "kestrune-cli: COM7: the device went away" && ok=true
check "a target that hangs up mid-transfer is named as gone (exit 9)" $ok
target_exit goneTarget

# A device that is no serial port opens, but its set-up fails: closed at once.
ln -sf /dev/null "$dosdevices/com9"
download COM9 "$bin"
ok=false
[ "$cli_exit" -eq 5 ] && err_ends_with "Download.....Open com port error !" &&
  err_line_before_outcome "kestrune-cli: COM9: SetupComm failed: " && ok=true
check "a port whose set-up fails is Open com port error with the failing call (exit 5)" $ok

start_target nakTarget com7 --nak-block 3
download COM7 "$bin"
ok=false; [ "$cli_exit" -eq 8 ] && err_ends_with "Download.....Program Error !" && ok=true
check "a rejected block is Program Error (exit 8)" $ok
target_exit nakTarget
ok=false; [ "$target_status" -eq 5 ] && ok=true
check "the target reports the rejected block (exit 5)" $ok

rm -f "$dosdevices/com14"
download COM14 "$bin"
ok=false
[ "$cli_exit" -eq 5 ] && [ "$(echo "$cli_err" | wc -l)" -eq 2 ] &&
  err_ends_with "Download.....Open com port error !" && err_line_before_outcome "kestrune-cli: COM14: " && ok=true
check "an absent port is Open com port error after the reason (exit 5)" $ok

echo "$passed passed, $failures failed"
[ "$failures" -eq 0 ]
