#!/bin/bash
# Runs the Intel HEX reader's libFuzzer harness for SECONDS (default 300) in
# its own clang build (build/fuzz), starting from the seed files in
# tests/image/fuzz-corpus and the inputs earlier runs kept, then prints the
# executions, the coverage and the corpus size. Exits non-zero on a finding
# (the input that caused it is saved in build/fuzz/).
set -euo pipefail
seconds=${1:-300}
root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build/fuzz
cd "$root"
cmake --preset fuzz >/dev/null
if ! cmake --build "$build" --target intelhex_fuzzer -j "${JOBS:-2}" >"$build/build.log" 2>&1; then
  cat "$build/build.log"
  exit 2
fi
corpus=$build/corpus
mkdir -p "$corpus"
log=$build/fuzz.log
status=0
"$build/tests/image/intelhex_fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  -print_final_stats=1 -artifact_prefix="$build/" "$corpus" tests/image/fuzz-corpus \
  >"$log" 2>&1 || status=$?
runs=$(grep -oE 'number_of_executed_units: *[0-9]+' "$log" | grep -oE '[0-9]+$' | head -1 || echo 0)
last=$(grep -E '(pulse|NEW|REDUCE|DONE) ' "$log" | tail -1 || true)
cov=$(grep -oE 'cov: [0-9]+' <<<"$last" | grep -oE '[0-9]+' || echo '?')
features=$(grep -oE 'ft: [0-9]+' <<<"$last" | grep -oE '[0-9]+' || echo '?')
inputs=$(grep -oE 'corp: [0-9]+' <<<"$last" | grep -oE '[0-9]+' || echo '?')
echo "fuzz: $runs executions in $seconds s, coverage $cov edges, $features features," \
  "corpus $inputs inputs (log: $log)"
if [ "$status" -ne 0 ]; then
  grep -E 'ERROR|model disagrees|artifact' "$log" | head -20
  echo "fuzz: FAILED (exit $status)"
fi
exit "$status"
