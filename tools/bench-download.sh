#!/bin/bash
# Download benchmark: a 64 KiB image at 115200 baud into kestrune-target
# --baud 115200 (no reply delay), natively with kestrune-cli and with the
# Windows kestrune-cli.exe (Win32 serial back end) under Wine.
#   tools/bench-download.sh BUILD_NATIVE_RELEASE [BUILD_WINDOWS]   (BENCH_RUNS=3)
#
# The bound is the line time of every byte the exchange moves, both ways, at
# 10 bits per byte: the Ready frame the host answered, the 15-byte header, its
# acknowledgement, 512 blocks of 128 bytes, 512 acknowledgements and the end
# frame: 67096 bytes, 5.824 s. The line is half duplex in practice (stop and
# wait), so these times add up. The wall time runs, by the target's clock
# from its --trace, from the moment the first bit of that Ready frame goes on
# the line to the moment the last bit of the end frame arrives. Time before
# it (process start, opening the port, waiting up to one Ready interval for
# the next Ready) is not line time and not counted; the host's whole process
# time is printed beside it for reference.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tools/start-target.sh
. "$root/tools/start-target.sh"
native=$(realpath "${1:?usage: $0 BUILD_NATIVE_RELEASE [BUILD_WINDOWS]}")
windows=${2:+$(realpath "$2")}
runs=${BENCH_RUNS:-3}
baud=115200
target=$native/target/kestrune-target
work=$(mktemp -d)
target_pid=
session_started=
cleanup() {
  [ -n "$target_pid" ] && kill "$target_pid" 2>/dev/null
  [ -n "$session_started" ] && "$root/tools/wine-session.sh" stop "$windows"
  rm -rf "$work"
}
trap cleanup EXIT

head -c 65536 /dev/urandom >"$work/image.bin"

# One download; prints "ratio wall bound bytes process".
measure() {  # measure HOST_COMMAND...   ("PORT" in the command is replaced by the port)
  rm -f "$work/trace.txt" "$work/target.out"
  start_target "$target" "$work" --baud "$baud" --expect "$work/image.bin" --trace "$work/trace.txt" \
    --timeout 300 || { echo "kestrune-target did not start" >&2; exit 1; }
  local args=() a
  for a in "$@"; do args+=("${a//PORT/$port}"); done
  local start end
  start=$(date +%s.%N)
  "${args[@]}" >/dev/null 2>"$work/host.err" || { echo "host failed:" >&2; tail -n 3 "$work/host.err" >&2; exit 1; }
  end=$(date +%s.%N)
  wait "$target_pid" || { echo "target failed: $(tail -n 1 "$work/target.out")" >&2; exit 1; }
  target_pid=
  awk -v baud="$baud" -v process="$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')" '
    /^#/ { next }
    { t[NR] = $1; dir[NR] = $2; byte[NR] = $3 }
    $2 == "in" && !firstIn { firstIn = NR }
    $2 == "in" { lastIn = NR }
    END {
      # The accepted Ready: the last A5 5A 00 the target sent before the header began.
      for (i = firstIn - 1; i >= 3; --i)
        if (dir[i] == "out" && byte[i] == "00" && byte[i-1] == "5A" && byte[i-2] == "A5") { ready = i - 2; break }
      byteTime = 10 / baud
      bytes = lastIn - ready + 1
      wall = t[lastIn] - (t[ready] - byteTime)
      bound = bytes * byteTime
      printf "%.4f %.3f %.3f %d %.3f\n", wall / bound, wall, bound, bytes, process
    }' "$work/trace.txt"
}

report() {  # report NAME HOST_COMMAND...
  local name=$1; shift
  local results=()
  for _ in $(seq 1 "$runs"); do results+=("$(measure "$@")"); done
  printf '%s\n' "${results[@]}" | sort -n | awk -v name="$name" -v n="$runs" '
    { line[NR] = $0 }
    END {
      split(line[int((n + 1) / 2)], m, " ")
      printf "%-32s ratio %.3f (median of %d: wall %.3f s, bound %.3f s for %d bytes; host process %.3f s)\n",
             name, m[1], n, m[2], m[3], m[4], m[5]
      for (i = 1; i <= n; ++i) { split(line[i], r, " "); printf "    run: ratio %.4f wall %.3f s\n", r[1], r[2] }
    }'
}

echo "64 KiB at $baud baud into kestrune-target --baud $baud; bound = 10 bit times per byte moved"
report "kestrune-cli (native, POSIX)" "$native/cli/kestrune-cli" download --port PORT --baud "$baud" "$work/image.bin"

if [ -n "$windows" ]; then
  if [ ! -f "$windows/wine.env" ]; then
    "$root/tools/wine-session.sh" start "$windows" >/dev/null
    session_started=1
  fi
  # shellcheck disable=SC1091
  . "$windows/wine.env"
  com=com9
  ln -sfn /dev/null "$WINEPREFIX/dosdevices/$com"
  # The COM link must name the target's terminal: a small wrapper links it, then runs the .exe.
  cat >"$work/wine-host.sh" <<WRAP
#!/bin/bash
ln -sfn "\$1" "$WINEPREFIX/dosdevices/$com"
shift
exec wine "$windows/cli/kestrune-cli.exe" "\$@"
WRAP
  chmod +x "$work/wine-host.sh"
  wine cmd /c exit >/dev/null 2>&1 || true  # Wine is up before the first timing
  report "kestrune-cli.exe (Wine, Win32)" "$work/wine-host.sh" PORT download --port COM9 --baud "$baud" \
    "Z:${work//\//\\}\\image.bin"
  rm -f "$WINEPREFIX/dosdevices/$com"
fi
