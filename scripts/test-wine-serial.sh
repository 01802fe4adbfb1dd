#!/usr/bin/env bash
# The protocol tests of the Windows build, under wine, against the simulated machine:
# for every test the native tq8sim program starts with that test's options, and COM7 of
# the wine prefix points at its pty. The Win32 serial service talks to it through wine's
# serial layer.
set -euo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$TQ8_ROOT"
. scripts/wine-env.sh

# native_tool PATH: the native build's program at PATH below the build folder, "" for none.
native_tool() {
  local preset
  for preset in native-release native-debug; do
    if [ -x "build/$preset/$1" ]; then
      echo "build/$preset/$1"
      return
    fi
  done
}

exe=build/windows-release/tests/protocol/protocol_tests.exe
sim="$(native_tool tools/tq8sim/tq8sim)"
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

# The Windows command line's whole update: the exchange must be the native one's.
cli=build/windows-release/src/cli/tq8flash-cli.exe
native_cli="$(native_tool src/cli/tq8flash)"
# update_run NAME EXPECTED-EXIT SIM-OPTIONS...: one update of the sample bundle; the
# transcript without the erase times stays in $work/NAME.transcript.
update_run() {
  local name="$1" expected="$2"
  shift 2
  : >"$work/transcript"
  rm -f "$link" "$work/state"
  "$sim" --link "$link" --transcript "$work/transcript" --state "$work/state" "$@" \
    >"$work/sim.out" 2>"$work/sim.err" &
  simpid=$!
  for _ in $(seq 100); do
    [ -L "$link" ] && break
    sleep 0.05
  done
  local code=0
  timeout 300 wine "$cli" update --port "COM$port" --dir examples/firmware --yes \
    >"$work/$name.out" 2>&1 || code=$?
  kill "$simpid" 2>/dev/null || true
  wait "$simpid" 2>/dev/null || true
  simpid=""
  sed 's/ erase=[0-9]*ms//' "$work/transcript" >"$work/$name.transcript"
  if [ "$code" -ne "$expected" ]; then
    echo "FAIL  tq8flash-cli update $name: exit $code, expected $expected"
    tr -d '\r' <"$work/$name.out" | sed 's/^/      /' | tail -20
    failed=$((failed + 1))
    return 1
  fi
  return 0
}
# The native program's update of the same bundle, on a plain pty, compared line by line;
# the date values differ by nothing but the day the runs straddle.
same_as_native() {
  [ -n "$native_cli" ] || return 0
  : >"$work/transcript"
  "$sim" --transcript "$work/transcript" >"$work/sim.out" 2>"$work/sim.err" &
  simpid=$!
  for _ in $(seq 100); do
    [ -s "$work/sim.out" ] && break
    sleep 0.05
  done
  XDG_CONFIG_HOME="$work/native-config" timeout 120 "$native_cli" update \
    --port "$(head -1 "$work/sim.out")" --dir examples/firmware --yes >"$work/native.out" 2>&1 || true
  kill "$simpid" 2>/dev/null || true
  wait "$simpid" 2>/dev/null || true
  simpid=""
  sed 's/ erase=[0-9]*ms//' "$work/transcript" >"$work/native.cmp"
  diff "$work/native.cmp" "$work/success.transcript" >"$work/diff" 
}
if [ -f "$cli" ] && { [ -z "$filter" ] || [[ "update" == *$filter* ]]; }; then
  if update_run success 0; then
    if grep -q '^application_state=2$' "$work/state" && grep -q '^variable.62=1$' "$work/state" &&
        [ "$(grep -c '^TRAILER .* -> ACK$' "$work/success.transcript")" -eq 2 ] &&
        grep -q '^RATE 9600 -> ACK$' "$work/success.transcript"; then
      if same_as_native; then
        echo "ok    tq8flash-cli update: complete, the exchange of the native program"
        passed=$((passed + 1))
      else
        echo "FAIL  tq8flash-cli update: the exchange differs from the native program's"
        head -20 "$work/diff" | sed 's/^/      /'
        failed=$((failed + 1))
      fi
    else
      echo "FAIL  tq8flash-cli update: the machine was not left updated"
      tail -8 "$work/success.transcript" | sed 's/^/      /'
      failed=$((failed + 1))
    fi
  fi
  if update_run nak 6 --block-noack 5; then
    if grep -q '^application_state=1$' "$work/state" && grep -q '^variable.62=1$' "$work/state" &&
        grep -q '^RATE 9600 -> ACK$' "$work/nak.transcript" && ! grep -q '^TRAILER' "$work/nak.transcript"; then
      echo "ok    tq8flash-cli update: a block without acknowledgement takes the failure path"
      passed=$((passed + 1))
    else
      echo "FAIL  tq8flash-cli update: failure path after block 5"
      tail -8 "$work/nak.transcript" | sed 's/^/      /'
      failed=$((failed + 1))
    fi
  fi
fi

echo "wine serial tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
