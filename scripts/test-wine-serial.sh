#!/usr/bin/env bash
# The protocol tests of the Windows build, under wine, against the simulated machine:
# for every test the native tq8sim program starts with that test's options, and COM7 of
# the wine prefix points at its pty. The Win32 serial service talks to it through wine's
# serial layer.
set -euo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$TQ8_ROOT"
. scripts/wine-env.sh

exe=build/windows-release/tests/protocol/protocol_tests.exe
sim=""
for preset in native-release native-debug; do
  if [ -x "build/$preset/tools/tq8sim/tq8sim" ]; then
    sim="build/$preset/tools/tq8sim/tq8sim"
    break
  fi
done
if [ ! -f "$exe" ] || [ -z "$sim" ]; then
  echo "build both presets first (windows-release and native-debug or native-release)" >&2
  exit 1
fi
tq8_wine_prefix

port=7
link="$WINEPREFIX/dosdevices/com$port"
work="$(mktemp -d)"
simpid=""
cleanup() {
  if [ -n "$simpid" ]; then
    kill "$simpid" 2>/dev/null || true
    wait "$simpid" 2>/dev/null || true
  fi
  rm -f "$link"
  rm -rf "$work"
}
trap cleanup EXIT

# A wine server of our own, whose chatter stays out of the report.
wineserver -p 30 >"$work/wineserver.log" 2>&1 || true

filter="${1:-}"
list="$(TQ8_SIM_LIST=1 wine "$exe" | tr -d '\r' | sed -n 's/^SIM|//p')"
failed=0
passed=0
while IFS='|' read -r test options; do
  [ -n "$test" ] || continue
  if [ -n "$filter" ] && [[ "$test" != *$filter* ]]; then
    continue
  fi
  : >"$work/transcript"
  rm -f "$link"
  # shellcheck disable=SC2086 # the options are words for tq8sim
  "$sim" --link "$link" --transcript "$work/transcript" $options >"$work/sim.out" 2>"$work/sim.err" &
  simpid=$!
  for _ in $(seq 100); do
    [ -L "$link" ] && break
    sleep 0.05
  done
  if TQ8_SIM_PORT=$port TQ8_SIM_TRANSCRIPT="$work/transcript" \
      wine "$exe" --gtest_filter="$test" >"$work/test.out" 2>&1 &&
      grep -q '^\[  PASSED  \] 1 test' "$work/test.out" &&
      ! grep -q '^\[  SKIPPED \]' "$work/test.out"; then
    echo "ok    $test"
    passed=$((passed + 1))
  else
    echo "FAIL  $test ($options)"
    tr -d '\r' <"$work/test.out" | grep -v '^\[ *\(RUN\|OK\) ' | sed 's/^/      /'
    failed=$((failed + 1))
  fi
  kill "$simpid" 2>/dev/null || true
  wait "$simpid" 2>/dev/null || true
  simpid=""
done <<<"$list"

echo "wine serial tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
