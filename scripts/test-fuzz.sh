#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz preset: clang, ASan, UBSan) and runs each for a short
# while from the seed corpus in tests/fuzz/corpus. Part of the CI test run.
# Usage: scripts/test-fuzz.sh [SECONDS, default 20: every target runs that long, all at once]
# With TQ8_FUZZ_BUILT set, the fuzz build is taken as it is (scripts/test.sh builds it earlier).
set -euo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$TQ8_ROOT"
seconds="${1:-20}"
if [ -z "${TQ8_FUZZ_BUILT:-}" ]; then
  cmake --preset fuzz >/dev/null
  cmake --build --preset fuzz -j2 >/dev/null
fi
work="$(mktemp -d /dev/shm/tq8fuzz.XXXXXX 2>/dev/null || mktemp -d)"
trap 'rm -rf "$work"' EXIT
# The loader's checksum files go to a folder of their own, in memory where there is one.
export TQ8_FUZZ_TMP="$work"
status=0
# One target's run: its verdict goes to $work/TARGET.verdict.
fuzz_one() {
  local target="$1"
  # New inputs go to a scratch copy; the corpus in the repository stays as it is.
  mkdir -p "$work/$target"
  cp tests/fuzz/corpus/"$target"/* "$work/$target"/
  if build/fuzz/tests/fuzz/fuzz_"$target" -max_total_time="$seconds" -max_len=4096 -timeout=10 \
      -artifact_prefix="$work/$target-" "$work/$target" >"$work/$target.log" 2>&1; then
    echo "fuzz_$target: $(grep -o 'Done [0-9]* runs' "$work/$target.log" | tail -1)" \
      >"$work/$target.verdict"
  else
    echo "FAILED" >"$work/$target.verdict"
  fi
}
# The targets run side by side: the machine's cores share the time.
# rfc2217: every wait of the client has its limit, so an input that takes seconds is a hang.
targets=(srecord_decode fileobj_fgets load_mot rfc2217 bundle)
for target in "${targets[@]}"; do
  fuzz_one "$target" &
done
wait
for target in "${targets[@]}"; do
  if [ "$(cat "$work/$target.verdict")" != FAILED ]; then
    cat "$work/$target.verdict"
  else
    echo "fuzz_$target: FAILED"
    tail -40 "$work/$target.log"
    mkdir -p build/fuzz/artifacts
    cp "$work/$target"-crash-* "$work/$target"-leak-* "$work/$target"-timeout-* \
      build/fuzz/artifacts/ 2>/dev/null || true
    status=1
  fi
done
exit "$status"
