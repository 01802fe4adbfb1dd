#!/usr/bin/env bash
# The protocol tests of the Windows build, under wine, against the simulated machine:
# for every test the native tq8sim program starts with that test's options, and COM7 of
# the wine prefix points at its pty. The Win32 serial service talks to it through wine's
# serial layer. Last, the Windows command line's whole update.
#   test-wine-serial.sh [FILTER]         the tests whose names hold FILTER, or all
#   test-wine-serial.sh --list           "NAME SECONDS OPTION..." a line: each test, its time
#                                        limit and the machine's options
#   test-wine-serial.sh --one NAME [OPTION...]   one test with those machine options
# CTest runs each as a test of its own (label wine) through --list and --one.
set -euo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$TQ8_ROOT"
. scripts/lib.sh
. scripts/wine-env.sh

exe=build/windows-release/tests/protocol/protocol_tests.exe
cli=build/windows-release/src/cli/tq8flash-cli.exe
cli_update=tq8flash-cli-update
cli_refused=tq8flash-cli-refused
sim="$(tq8_native_tool tools/tq8sim/tq8sim)"
native_cli="$(tq8_native_tool src/cli/tq8flash)"

# The tests and their machine options.
list_tests() {
  TQ8_SIM_LIST=1 wine "$exe" | tr -d '\r' | sed -n 's/^SIM|\([^|]*\)|/\1 120 /p'
  if [ -f "$cli" ]; then
    echo "$cli_update 720"
    echo "$cli_refused 120"
  fi
}

if [ ! -f "$exe" ]; then
  echo "build the windows-release preset first ($exe is missing)" >&2
  exit 1
fi
tq8_wine_prefix
if [ "${1:-}" = --list ]; then
  list_tests
  exit 0
fi
if [ -z "$sim" ]; then
  echo "build tq8sim first (native-release or native-debug)" >&2
  exit 1
fi

# A test ends in time for the clean-up before the test driver's limit.
test_limit=$((${TQ8_TIME_LIMIT:-120} - 10))
port=7
link="$WINEPREFIX/dosdevices/com$port"
work="$(mktemp -d)"
tq8_at_exit rm -rf "$work" "$link"

# A wine server of our own, whose chatter stays out of the report.
wineserver -p 30 >"$work/wineserver.log" 2>&1 || true

failed=0
passed=0
fail() {  # fail LINE...: the first line as the verdict, the others indented below it
  echo "FAIL  $1"
  shift
  [ "$#" -eq 0 ] || printf '      %s\n' "$@"
  failed=$((failed + 1))
}

# machine [OPTION...]: a fresh machine on COM7 with its transcript in $work.
machine() {
  : >"$work/transcript"
  rm -f "$link" "$work/state"
  start_machine "$work/sim" "$sim" --link "$link" --transcript "$work/transcript" "$@"
}

# gtest_one NAME [OPTION...]
gtest_one() {
  local test="$1"
  shift
  if ! machine "$@" 2>"$work/start.err"; then
    fail "$test ($*)" "$(cat "$work/start.err")"
    return
  fi
  if TQ8_SIM_PORT=$port TQ8_SIM_TRANSCRIPT="$work/transcript" \
      timeout -k 5 "$test_limit" wine "$exe" --gtest_filter="$test" >"$work/test.out" 2>&1 &&
      grep -q '^\[  PASSED  \] 1 test' "$work/test.out" &&
      ! grep -q '^\[  SKIPPED \]' "$work/test.out"; then
    echo "ok    $test"
    passed=$((passed + 1))
  else
    fail "$test ($*)"
    tr -d '\r' <"$work/test.out" | grep -v '^\[ *\(RUN\|OK\) ' | sed 's/^/      /'
  fi
  stop_machine "$machine_pid"
}

# update_run NAME EXPECTED-EXIT SIM-OPTION...: one update of the sample bundle by the
# Windows command line; the transcript without the erase times stays in $work/NAME.transcript.
update_run() {
  local name="$1" expected="$2"
  shift 2
  if ! machine --state "$work/state" "$@" 2>"$work/start.err"; then
    fail "tq8flash-cli update $name" "$(cat "$work/start.err")"
    return 1
  fi
  local code=0
  timeout -k 5 240 wine "$cli" update --port "COM$port" --dir examples/firmware --yes \
    >"$work/$name.out" 2>&1 || code=$?
  stop_machine "$machine_pid"
  sed 's/ erase=[0-9]*ms//' "$work/transcript" >"$work/$name.transcript"
  if [ "$code" -ne "$expected" ]; then
    fail "tq8flash-cli update $name: exit $code, expected $expected" \
      "$(tr -d '\r' <"$work/$name.out" | tail -20)"
    return 1
  fi
}

# The native program's update of the same bundle, on a plain pty, compared line by line;
# the date values differ by nothing but the day the runs straddle.
same_as_native() {
  [ -n "$native_cli" ] || return 0
  : >"$work/transcript"
  start_machine "$work/native-sim" "$sim" --transcript "$work/transcript" || return 1
  XDG_CONFIG_HOME="$work/native-config" timeout 120 "$native_cli" update \
    --port "$machine_device" --dir examples/firmware --yes >"$work/native.out" 2>&1 || true
  stop_machine "$machine_pid"
  sed 's/ erase=[0-9]*ms//' "$work/transcript" >"$work/native.cmp"
  diff "$work/native.cmp" "$work/success.transcript" >"$work/diff"
}

cli_updates() {
  if update_run success 0; then
    if ! grep -q '^application_state=2$' "$work/state" || ! grep -q '^variable.62=1$' "$work/state" ||
        [ "$(grep -c '^TRAILER .* -> ACK$' "$work/success.transcript")" -ne 2 ] ||
        ! grep -q '^RATE 9600 -> ACK$' "$work/success.transcript"; then
      fail "tq8flash-cli update: the machine was not left updated" \
        "$(tail -8 "$work/success.transcript")"
    elif ! same_as_native; then
      fail "tq8flash-cli update: the exchange differs from the native program's" \
        "$(head -20 "$work/diff")"
    else
      echo "ok    tq8flash-cli update: complete, the exchange of the native program"
      passed=$((passed + 1))
    fi
  fi
  if update_run nak 6 --block-noack 5; then
    if grep -q '^application_state=1$' "$work/state" && grep -q '^variable.62=1$' "$work/state" &&
        grep -q '^RATE 9600 -> ACK$' "$work/nak.transcript" && ! grep -q '^TRAILER' "$work/nak.transcript"; then
      echo "ok    tq8flash-cli update: a block without acknowledgement takes the failure path"
      passed=$((passed + 1))
    else
      fail "tq8flash-cli update: failure path after block 5" "$(tail -8 "$work/nak.transcript")"
    fi
  fi
}

# A copy of the Windows command line with a trusted key beside it, and a signed bundle whose
# program file changed since: refused before the machine hears a byte.
cli_refused() {
  local prog="$work/prog" bundle="$work/bundle" code=0 record
  mkdir -p "$prog" "$bundle"
  cp "$cli" "$(dirname "$cli")"/*.dll "$prog/"
  cp examples/firmware/TQ8-* "$bundle/"
  tq8_sign_bundle "$bundle" "$prog/trusted-keys" "$native_cli" && machine || return 1
  tq8_change_program "$bundle"
  timeout -k 5 60 wine "$prog/tq8flash-cli.exe" update --port "COM$port" --yes \
    --dir "$(winepath -w "$bundle")" --record "$(winepath -w "$work/records.jsonl")" \
    >"$work/refused.out" 2>&1 || code=$?
  stop_machine "$machine_pid"
  record="$(python3 -c 'import json,sys; r=json.load(open(sys.argv[1])); \
print(r["outcome"], r["bundle"]["state"])' "$work/records.jsonl" 2>&1)"
  if [ "$code" -ne 7 ] || [ -s "$work/transcript" ] || [ "$record" != "bundle_refused refused" ]
  then
    fail "tq8flash-cli update of a changed bundle: exit $code, record: $record" \
      "$(head -5 "$work/transcript")" "$(tr -d '\r' <"$work/refused.out" | tail -10)"
    return
  fi
  echo "ok    tq8flash-cli update of a changed bundle: refused, nothing sent"
  passed=$((passed + 1))
}

# run_one NAME [OPTION...]
run_one() {
  if [ "$1" = "$cli_update" ]; then
    cli_updates
  elif [ "$1" = "$cli_refused" ]; then
    cli_refused || fail "tq8flash-cli update of a changed bundle: no signed bundle or no machine"
  else
    gtest_one "$@"
  fi
}

if [ "${1:-}" = --one ]; then
  shift
  run_one "$@"
else
  filter="${1:-}"
  while read -r test _ options; do
    [ -n "$test" ] || continue
    [[ "$test" == *$filter* ]] || continue
    # shellcheck disable=SC2086 # the options are words for tq8sim
    run_one "$test" $options
  done < <(list_tests)
fi

echo "wine serial tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
