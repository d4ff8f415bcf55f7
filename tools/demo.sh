#!/bin/bash
# make demo: downloads the sample firmware with kestrune-cli into kestrune-target,
# a simulated boot loader on a pseudo-terminal paced like a real 115200 baud
# line, and shows the target's verdict; then flashes three simulated boards
# at once (gang) and shows the summary; last, when the AVR build is there,
# downloads the greeting application into our boot loader on a simulated
# ATmega328P and shows what the chip then prints (--monitor --expect). Exits non-zero when a
# download fails.
#   tools/demo.sh BUILD_DIR   (a native build, e.g. build/native-release)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tools/start-target.sh
. "$root/tools/start-target.sh"
build=$(realpath "${1:-$root/build/native-release}")
target=$build/target/kestrune-target
cli=$build/cli/kestrune-cli
for program in "$target" "$cli"; do
  [ -x "$program" ] || { echo "demo: $program is missing; build first (make demo does)" >&2; exit 1; }
done

work=$(mktemp -d)
target_pid=
gang_pids=()
sim_pid=
cleanup() {
  [ -n "$target_pid" ] && kill "$target_pid" 2>/dev/null && wait "$target_pid" 2>/dev/null
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  for pid in "${gang_pids[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

status=0
for file in "$root/samples/demo-firmware.hex" "$root/samples/demo-firmware.bin"; do
  name=${file#"$root"/}
  echo "== $name"
  "$cli" info "$file"

  start_target "$target" "$work" --baud 115200 --expect "$file" --timeout 120 ||
    { echo "demo: kestrune-target did not start" >&2; cat "$work/target.err" >&2; exit 1; }
  echo "kestrune-target listens on $port (115200 baud pacing, expects $name)"
  echo "\$ kestrune-cli download --port $port --baud 115200 $name"

  cli_status=0
  "$cli" download --port "$port" --baud 115200 "$file" || cli_status=$?
  target_status=0
  wait "$target_pid" || target_status=$?
  target_pid=
  echo "target's verdict: $(tail -n 1 "$work/target.out")"
  if [ "$cli_status" -ne 0 ] || [ "$target_status" -ne 0 ]; then
    echo "demo: FAILED (kestrune-cli exit $cli_status, kestrune-target exit $target_status)" >&2
    status=1
  fi
  echo
done

file=$root/samples/demo-firmware.hex
echo "== three boards at once: ${file#"$root"/}"
ports=()
for board in 1 2 3; do
  mkdir -p "$work/board$board"
  start_target "$target" "$work/board$board" --baud 115200 --expect "$file" --timeout 120 ||
    { echo "demo: kestrune-target did not start" >&2; exit 1; }
  gang_pids+=("$target_pid")
  ports+=(--port "$port")
done
target_pid=
echo "\$ kestrune-cli download ${ports[*]} --baud 115200 ${file#"$root"/}"
cli_status=0
"$cli" download "${ports[@]}" --baud 115200 "$file" || cli_status=$?
for board in 1 2 3; do
  target_status=0
  wait "${gang_pids[$((board - 1))]}" || target_status=$?
  echo "board $board's verdict: $(tail -n 1 "$work/board$board/target.out")"
  [ "$target_status" -eq 0 ] || cli_status=1
done
gang_pids=()
if [ "$cli_status" -ne 0 ]; then
  echo "demo: FAILED (the gang download, exit $cli_status)" >&2
  status=1
fi
echo

sim=$build/boot/sim/kestrune-avrsim
avr=$root/build/avr/boot/atmega328p
if [ -x "$sim" ] && [ -f "$avr/kestrune-boot-atmega328p.elf" ]; then
  echo "== our boot loader on a simulated ATmega328P (16 MHz, real time, strict flash timing)"
  "$sim" --link "$work/chip" --real-time --tx-log "$work/chip.tx" --timeout 120 \
    "$avr/kestrune-boot-atmega328p.elf" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 1 100); do [ -e "$work/chip" ] && break; sleep 0.1; done
  echo "\$ kestrune-cli download --port $work/chip kestrune-hello-atmega328p.hex --monitor 3 --expect \"Hello from Kestrune\""
  cli_status=0
  # The verified application starts and greets every 500 ms; the monitor shows it.
  "$cli" download --port "$work/chip" "$avr/kestrune-hello-atmega328p.hex" \
    --monitor 3 --expect "Hello from Kestrune" || cli_status=$?
  kill -TERM "$sim_pid" 2>/dev/null
  sim_status=0
  wait "$sim_pid" || sim_status=$?
  sim_pid=
  greeting=$(tr -d '\r' <"$work/chip.tx" | grep -a -m 1 -o 'Hello[ -~]*' || true)
  if [ "$cli_status" -ne 0 ] || [ "$sim_status" -ne 0 ] || [ -z "$greeting" ]; then
    echo "demo: FAILED (kestrune-cli exit $cli_status, kestrune-avrsim exit $sim_status)" >&2
    cat "$work/sim.err" >&2
    status=1
  fi
  echo
fi
[ "$status" -eq 0 ] && echo "demo: every download arrived intact."
exit "$status"
