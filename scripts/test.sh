#!/usr/bin/env bash
# Builds both targets and runs every test: natively under ASan and UBSan, and the
# Windows build under wine.
set -euo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$TQ8_ROOT"
jobs="$(nproc)"
status=0

echo "== native (ASan, UBSan) =="
cmake --preset native-debug >/dev/null
cmake --build --preset native-debug -j "$jobs"
ctest --preset native-debug -j "$jobs" || status=1

echo "== windows (MinGW-w64, under wine) =="
. scripts/wine-env.sh
cmake --preset windows-release >/dev/null
cmake --build --preset windows-release -j "$jobs"
tq8_wine_prefix
ctest --preset windows-release -j "$jobs" || status=1

for extra in scripts/test-*.sh; do
  [ -f "$extra" ] || continue
  echo "== $(basename "$extra" .sh) =="
  bash "$extra" || status=1
done

if [ "$status" -ne 0 ]; then
  echo "some tests failed"
fi
exit "$status"
