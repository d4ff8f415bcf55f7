#!/bin/bash
# A boot loader that announces back to back (kestrune-target --ready-interval 0,
# paced at the line's baud rate): RUNS downloads at each of 1200, 9600 and
# 115200 baud, with the outcome of each. Every run must end in Success: a
# Ready frame already on the line when the header goes out is not its reply.
#   tools/bench-announcer.sh BUILD [RUNS]   (RUNS=6; BUILD holds cli/ and target/)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=tools/start-target.sh
. "$root/tools/start-target.sh"
build=$(realpath "${1:?usage: $0 BUILD [RUNS]}")
runs=${2:-6}
work=$(mktemp -d)
target_pid=
trap '[ -n "$target_pid" ] && kill "$target_pid" 2>/dev/null; rm -rf "$work"' EXIT

# Image sizes keep a run at 1200 baud to a few seconds.
declare -A sizes=([1200]=512 [9600]=2048 [115200]=8192)
status=0
for baud in 1200 9600 115200; do
  head -c "${sizes[$baud]}" /dev/urandom >"$work/image.bin"
  declare -A outcomes=()
  for _ in $(seq 1 "$runs"); do
    start_target "$build/target/kestrune-target" "$work" --ready-interval 0 --baud "$baud" \
      --expect "$work/image.bin" --timeout 120 || { echo "no target"; exit 1; }
    outcome=$("$build/cli/kestrune-cli" download --port "$port" --baud "$baud" "$work/image.bin" \
      2>&1 | grep -o 'Download\.\.\.\.\..*' | tail -n 1)
    wait "$target_pid"
    target_pid=
    outcomes[$outcome]=$((${outcomes[$outcome]:-0} + 1))
    [ "$outcome" = "Download.....Success !" ] || status=1
  done
  line="$baud baud, ${sizes[$baud]} bytes, $runs runs:"
  for outcome in "${!outcomes[@]}"; do line+=" ${outcomes[$outcome]} x $outcome;"; done
  echo "$line"
  unset outcomes
done
exit $status
