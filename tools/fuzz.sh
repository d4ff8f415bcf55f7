#!/bin/bash
# Runs the firmware readers' libFuzzer harnesses (intelhex, srecord, elf, or
# those named after SECONDS) one after the other, each for SECONDS (default
# 300), in their own clang build (build/fuzz), starting from the seed files in
# tests/image/fuzz-corpus/NAME and the inputs earlier runs kept. Prints each
# one's executions, coverage and corpus size. Exits non-zero on a finding (the
# input that caused it is saved in build/fuzz/).
set -euo pipefail
seconds=${1:-300}
shift || true
harnesses=("$@")
[ ${#harnesses[@]} -gt 0 ] || harnesses=(intelhex srecord elf)
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz
cd "$root"
cmake --preset fuzz >/dev/null
targets=()
for name in "${harnesses[@]}"; do targets+=("${name}_fuzzer"); done
if ! cmake --build "$build" --target "${targets[@]}" -j "${JOBS:-2}" >"$build/build.log" 2>&1; then
  cat "$build/build.log"
  exit 2
fi
status=0
for name in "${harnesses[@]}"; do
  corpus=$build/corpus-$name
  mkdir -p "$corpus"
  log=$build/fuzz-$name.log
  run=0
  "$build/tests/image/${name}_fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
    -print_final_stats=1 -artifact_prefix="$build/$name-" "$corpus" "tests/image/fuzz-corpus/$name" \
    >"$log" 2>&1 || run=$?
  runs=$(grep -oE 'number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' | head -1 || echo 0)
  last=$(grep -E '(pulse|NEW|REDUCE|DONE) ' "$log" | tail -1 || true)
  cov=$(grep -oE 'cov: [0-9]+' <<<"$last" | grep -oE '[0-9]+' || echo '?')
  features=$(grep -oE 'ft: [0-9]+' <<<"$last" | grep -oE '[0-9]+' || echo '?')
  inputs=$(grep -oE 'corp: [0-9]+' <<<"$last" | grep -oE '[0-9]+' || echo '?')
  echo "fuzz $name: $runs executions in $seconds s, coverage $cov edges, $features features," \
    "corpus $inputs inputs (log: $log)"
  if [ "$run" -ne 0 ]; then
    grep -E 'ERROR|model disagrees|artifact' "$log" | head -20
    echo "fuzz $name: FAILED (exit $run)"
    status=$run
  fi
done
exit "$status"
