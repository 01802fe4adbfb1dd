#!/usr/bin/env bash
# tq8flash-cli.exe updating two machines at once under wine: each child process opens its
# own COM port of the wine prefix, linked to a tq8sim pty of its own. Only COM7 and COM8
# are named on the command line, and both are bound here. One machine refuses a block:
# the other completes, the exit code is the download failure's, and the parent alone
# writes both records.
set -euo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$TQ8_ROOT"
. scripts/wine-env.sh

. scripts/lib.sh

cli=build/windows-release/src/cli/tq8flash-cli.exe
sim="$(tq8_native_tool tools/tq8sim/tq8sim)"
if [ ! -f "$cli" ] || [ -z "$sim" ]; then
  echo "build both presets first (windows-release and native-debug or native-release)" >&2
  exit 1
fi
tq8_wine_prefix

work="$(mktemp -d)"
tq8_at_exit rm -rf "$work"
tq8_at_exit rm -f "$WINEPREFIX/dosdevices/com7" "$WINEPREFIX/dosdevices/com8"
wineserver -p 30 >"$work/wineserver.log" 2>&1 || true

python3 -c "import sys; sys.path.insert(0, 'tests/e2e'); import harness; \
harness.make_bundle('examples/firmware', '$work/bundle', records=96)"

for port in 7 8; do
  link="$WINEPREFIX/dosdevices/com$port"
  rm -f "$link"
  extra=()
  [ "$port" = 8 ] && extra=(--block-noack 9)
  start_machine "$work/sim$port" "$sim" --link "$link" --state "$work/state$port" \
    --transcript "$work/transcript$port" --var "2398=$((700 + port))" "${extra[@]}"
done

code=0
timeout 300 wine "$cli" update --port COM7 --port COM8 --dir "$(winepath -w "$work/bundle")" \
  --yes --record "$(winepath -w "$work/records.jsonl")" >"$work/out" 2>&1 || code=$?
tr -d '\r' <"$work/out" >"$work/out.txt"

fail() {
  echo "FAIL  tq8flash-cli update of two machines: $1"
  sed 's/^/      /' "$work/out.txt" | tail -30
  exit 1
}
[ "$code" -eq 6 ] || fail "exit $code, expected 6"
grep -q '^Not completed: COM8$' "$work/out.txt" || fail "the summary does not name COM8"
grep -q '^application_state=2$' "$work/state7" || fail "COM7 is not in state 2"
grep -q '^application_state=1$' "$work/state8" || fail "COM8 is not back in state 1"
grep -q '^RATE 9600 -> ACK' "$work/transcript8" || fail "COM8 is not back at 9600"
outcomes="$(python3 -c "import json,sys; print(' '.join(sorted(json.loads(l)['port'] + '=' + \
json.loads(l)['outcome'] for l in open(sys.argv[1]))))" "$work/records.jsonl")"
[ "$outcomes" = "COM7=completed COM8=download_failed" ] || fail "records: $outcomes"
echo "ok    tq8flash-cli update of two machines at once"
