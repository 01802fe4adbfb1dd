#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset: clang, ASan, UBSan) and runs each for a short
# while from the seed corpus in tests/fuzz/corpus. Part of the CI test run.
# Usage: scripts/test-fuzz.sh [SECONDS per target, default 20]
set -euo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$TQ8_ROOT"
seconds="${1:-20}"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 >/dev/null
work="$(mktemp -d /dev/shm/tq8fuzz.XXXXXX 2>/dev/null || mktemp -d)"
trap 'rm -rf "$work"' EXIT
# The loader's checksum files go to a folder of their own, in memory where there is one.
export TQ8_FUZZ_TMP="$work"
status=0
# rfc2217: every wait of the client has its limit, so an input that takes seconds is a hang.
for target in srecord_decode fileobj_fgets load_mot rfc2217; do
  # New inputs go to a scratch copy; the corpus in the repository stays as it is.
  mkdir -p "$work/$target"
  cp tests/fuzz/corpus/"$target"/* "$work/$target"/
  if build/fuzz/tests/fuzz/fuzz_"$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
      -artifact_prefix="$work/" "$work/$target" >"$work/$target.log" 2>&1; then
    echo "fuzz_$target: $(grep -o 'Done [0-9]* runs' "$work/$target.log" | tail -1)"
  else
    echo "fuzz_$target: FAILED"
    tail -40 "$work/$target.log"
    mkdir -p build/fuzz/artifacts
    cp "$work"/crash-* "$work"/leak-* "$work"/timeout-* build/fuzz/artifacts/ 2>/dev/null || true
    status=1
  fi
done
exit "$status"
