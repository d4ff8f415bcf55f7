#!/bin/bash
# Gang benchmark: the same 64 KiB image at 115200 baud into one paced
# kestrune-target, then into four at once with one kestrune-cli run.
#   tools/bench-gang.sh BUILD_NATIVE_RELEASE   (BENCH_RUNS=5)
# Figures (median of the runs):
#   wall ratio  the four-port run's wall time over the one-port run's (target:
#               at most 1.05: the ports do not wait for each other);
#   CPU share   kestrune-cli's user + system time over its wall time in the
#               four-port run (target: at most 5%: no busy waiting).
# Wall and CPU times are the whole kestrune-cli process (GNU time); the
# targets send Ready every 10 ms so the wait for it is no part of the figure.
# The paced targets need the CPU on time themselves: on a loaded machine the
# runs spread, so the best run of each kind is printed too, and a control:
# four one-port kestrune-cli processes at once into four targets (what the
# machine allows without gang programming).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tools/start-target.sh
. "$root/tools/start-target.sh"
native=$(realpath "${1:?usage: $0 BUILD_NATIVE_RELEASE}")
runs=${BENCH_RUNS:-5}
baud=115200
target=$native/target/kestrune-target
cli=$native/cli/kestrune-cli
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

head -c 65536 /dev/urandom >"$work/image.bin"

# run PORTS [separate]: one kestrune-cli run into PORTS fresh targets, or with
# "separate" one process per port at once; prints "wall cpu" (cpu: gang only)
run() {
  local args=() i
  pids=()
  for i in $(seq 1 "$1"); do
    mkdir -p "$work/t$i"
    start_target "$target" "$work/t$i" --baud "$baud" --ready-interval 10 --expect "$work/image.bin" \
      --timeout 300 || { echo "kestrune-target did not start" >&2; exit 1; }
    pids+=("$target_pid")
    args+=(--port "$port")
  done
  if [ "${2:-}" = separate ]; then
    local start end clis=()
    start=$(date +%s.%N)
    for ((i = 0; i < ${#args[@]}; i += 2)); do
      "$cli" download "${args[i]}" "${args[i + 1]}" --baud "$baud" "$work/image.bin" >/dev/null 2>&1 &
      clis+=($!)
    done
    for pid in "${clis[@]}"; do wait "$pid" || { echo "kestrune-cli failed" >&2; exit 1; }; done
    end=$(date +%s.%N)
    echo "$start $end" | awk '{ printf "%.3f 0\n", $2 - $1 }' >"$work/result"
  else
    /usr/bin/time -f "%e %U %S" -o "$work/time" "$cli" download "${args[@]}" --baud "$baud" \
      "$work/image.bin" >/dev/null 2>"$work/cli.err" ||
      { echo "kestrune-cli failed:" >&2; grep -v progress "$work/cli.err" | tail -n 5 >&2; exit 1; }
    awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' "$work/time" >"$work/result"
  fi
  for pid in "${pids[@]}"; do
    wait "$pid" || { echo "a target failed: $(tail -qn 1 "$work"/t*/target.out)" >&2; exit 1; }
  done
  pids=()
  cat "$work/result"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

best() { sort -n | head -n 1; }

ones=() fours=() cpus=() separates=()
for _ in $(seq 1 "$runs"); do
  read -r wall _ < <(run 1); ones+=("$wall")
  read -r wall _ < <(run 4 separate); separates+=("$wall")
  read -r wall cpu < <(run 4); fours+=("$wall")
  cpus+=("$(awk -v c="$cpu" -v w="$wall" 'BEGIN { printf "%.4f", c / w }')")
done
one=$(printf '%s\n' "${ones[@]}" | median)
four=$(printf '%s\n' "${fours[@]}" | median)
share=$(printf '%s\n' "${cpus[@]}" | median)
separate=$(printf '%s\n' "${separates[@]}" | median)
one_best=$(printf '%s\n' "${ones[@]}" | best)
four_best=$(printf '%s\n' "${fours[@]}" | best)
echo "64 KiB at $baud baud, kestrune-cli download into paced kestrune-target (median of $runs)"
awk -v one="$one" -v four="$four" -v share="$share" -v ones="${ones[*]}" -v fours="${fours[*]}" \
  -v shares="${cpus[*]}" -v separate="$separate" -v separates="${separates[*]}" \
  -v one_best="$one_best" -v four_best="$four_best" 'BEGIN {
    printf "one port   %.3f s   (runs: %s)\n", one, ones
    printf "four ports %.3f s   (runs: %s)\n", four, fours
    printf "control: four one-port processes at once %.3f s   (runs: %s)\n", separate, separates
    printf "wall ratio four/one %.3f, best runs %.3f (target at most 1.05)\n", four / one,
           four_best / one_best
    printf "kestrune-cli CPU during the four-port run: %.1f%% of its wall time (runs: %s; target at most 5%%)\n",
           share * 100, shares
  }'
