#!/usr/bin/env bash
# Longer fuzzing runs of the five targets, one after the other; prints the executions
# and what was found. New inputs and crashes go to build/fuzz/long/.
# Usage: bench/fuzz/run.sh [RUNS per target, default 10000000] [JOBS, default 1]
set -euo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
cd "$TQ8_ROOT"
runs="${1:-10000000}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 >/dev/null
out="build/fuzz/long"
mkdir -p "$out"
tmp="$(mktemp -d "${TMPDIR:-/dev/shm}/tq8fuzz.XXXXXX" 2>/dev/null || mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
export TQ8_FUZZ_TMP="$tmp"
for target in srecord_decode fileobj_fgets load_mot rfc2217 bundle; do
  mkdir -p "$out/$target"
  cp -n tests/fuzz/corpus/"$target"/* "$out/$target"/ 2>/dev/null || true
  start=$(date +%s)
  if build/fuzz/tests/fuzz/fuzz_"$target" -runs="$runs" -max_len=4096 -print_final_stats=1 \
      -artifact_prefix="$out/" "$out/$target" >"$out/$target.log" 2>&1; then
    verdict="no crash"
  else
    verdict="FAILED (see $out/$target.log)"
  fi
  echo "fuzz_$target: $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$out/$target.log" |
    grep -o '[0-9]*$') executions in $(( $(date +%s) - start )) s, $verdict"
done
