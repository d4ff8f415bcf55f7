#!/bin/bash
# Boot loader benchmark: the loader's size, and a 28 KiB image downloaded by
# kestrune-cli at 115200 baud into the ATmega328P loader running on
# kestrune-avrsim in real time (strict flash: 4.5 ms per page erase and per
# page write, UART paced at 10 bits a byte both ways).
#   tools/bench-boot.sh BUILD_NATIVE_RELEASE BUILD_AVR   (BENCH_RUNS=3)
#
# The bound is the line time of every byte the exchange moves, both ways, at
# 10 bits per byte: the Ready frame the host answered, the 15-byte header,
# its acknowledgement, 224 blocks of 128 bytes, 224 acknowledgements, the end
# frame and the verdict: 29371 bytes, 2.550 s. The wall time runs, by the
# harness's clock (--trace: simulated time, which --real-time keeps on the
# wall clock), from the first bit of that Ready frame to the last bit of the
# verdict. The goal is a ratio of at most 1.05: the
# loader programs while the next block arrives. Beside it, the ratio without
# the host's turn-around (from the end of an acknowledgement to the start of
# the next block, which is the host's and its machine's time, not the
# loader's): on a loaded machine the host wakes late.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
native=$(realpath "${1:?usage: $0 BUILD_NATIVE_RELEASE BUILD_AVR}")
avr=$(realpath "${2:?usage: $0 BUILD_NATIVE_RELEASE BUILD_AVR}")
runs=${BENCH_RUNS:-3}
baud=115200
sim=$native/boot/sim/kestrune-avrsim
cli=$native/cli/kestrune-cli
loader=$avr/boot/atmega328p/kestrune-boot-atmega328p.elf
hello=$avr/boot/atmega328p/kestrune-hello-atmega328p.elf
work=$(mktemp -d)
sim_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

read -r text data _ < <(avr-size "$loader" | tail -n 1)
echo "boot loader: $((text + data)) bytes of the 2048-byte boot section (text $text, data $data)"

# The greeting application padded with noise to 28 KiB: a real program, so the
# chip runs it after the verdict instead of crashing on random code.
avr-objcopy -O binary -R .eeprom "$hello" "$work/hello.bin"
cp "$work/hello.bin" "$work/image.bin"
head -c $((28672 - $(stat -c %s "$work/hello.bin"))) /dev/urandom >>"$work/image.bin"

# One download; prints "ratio wall bound bytes loaderRatio hostTurnaround".
measure() {
  rm -f "$work/trace.txt"
  "$sim" "$loader" --real-time --host-baud "$baud" --link "$work/port" --trace "$work/trace.txt" \
    --flash-out "$work/flash.bin" --timeout 120 >"$work/sim.out" 2>"$work/sim.err" &
  sim_pid=$!
  for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
  "$cli" download --port "$work/port" --baud "$baud" "$work/image.bin" >/dev/null 2>"$work/host.err" ||
    { echo "host failed: $(tail -n 1 "$work/host.err")" >&2; exit 1; }
  sleep 0.3  # the verdict and the application's start
  kill "$sim_pid"
  wait "$sim_pid" || { echo "harness: $(tail -n 3 "$work/sim.err")" >&2; exit 1; }
  sim_pid=
  cmp -s -n 28672 "$work/flash.bin" "$work/image.bin" || { echo "flash differs from the image" >&2; exit 1; }
  awk -v baud="$baud" '
    /^#/ { next }
    { t[NR] = $1; dir[NR] = $2; byte[NR] = $3 }
    $2 == "in" && !firstIn { firstIn = NR }
    $2 == "in" { lastIn = NR }
    END {
      byteTime = 10 / baud
      # The accepted Ready: the last A5 5A 00 the chip sent before the header began.
      for (i = firstIn - 1; i >= 3; --i)
        if (dir[i] == "out" && byte[i] == "00" && byte[i-1] == "5A" && byte[i-2] == "A5") { ready = i - 2; break }
      # The verdict: the first A5 5A 56 after the end frame.
      for (i = lastIn + 3; i <= NR; ++i)
        if (byte[i] == "56" && byte[i-1] == "5A" && byte[i-2] == "A5") { verdict = i; break }
      if (!ready || !verdict) { print "no Ready or no verdict in the trace" > "/dev/stderr"; exit 1 }
      # "in" is logged as its frame starts, "out" as its frame ends.
      bytes = verdict - ready + 1
      wall = t[verdict] - (t[ready] - byteTime)
      bound = bytes * byteTime
      for (i = ready + 1; i <= verdict; ++i)
        if (dir[i-1] == "out" && dir[i] == "in") host += t[i] - t[i-1]
      printf "%.4f %.3f %.3f %d %.4f %.3f\n", wall / bound, wall, bound, bytes, (wall - host) / bound, host
    }' "$work/trace.txt"
}

results=()
for _ in $(seq 1 "$runs"); do results+=("$(measure)"); done
printf '%s\n' "${results[@]}" | sort -n | awk -v n="$runs" '
  { line[NR] = $0 }
  END {
    split(line[int((n + 1) / 2)], m, " ")
    printf "28 KiB at 115200 baud, real time: ratio %.3f (median of %d: wall %.3f s, bound %.3f s for %d bytes; goal <= 1.05)\n",
           m[1], n, m[2], m[3], m[4]
    printf "    without the host turn-around: ratio %.3f (host %.3f s)\n", m[5], m[6]
    for (i = 1; i <= n; ++i) {
      split(line[i], r, " ")
      printf "    run: ratio %.4f wall %.3f s; without the host %.4f\n", r[1], r[2], r[5]
    }
  }'
