#!/usr/bin/env bash
# Host turnaround per 32-byte block, natively and under wine: the host downloads through
# the real RS232 and ProtokollTQ8, once to turnaround-peer (which times ACK written ->
# next block arrived) and once to tq8sim (time per block as the host sees it).
# Needs the native-release and windows-release builds.
set -euo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$TQ8_ROOT"
blocks="${1:-3000}"
native=build/native-release
host="$native/bench/turnaround/turnaround-host"
peer="$native/bench/turnaround/turnaround-peer"
sim="$native/tools/tq8sim/tq8sim"
winhost=build/windows-release/bench/turnaround/turnaround-host.exe
. scripts/lib.sh
work="$(mktemp -d)"
tq8_at_exit rm -rf "$work"

# start PROGRAM...: a machine program with a link, once it serves.
start() {
  start_machine "$work/machine" "$@"
}
# finish: waits for turnaround-peer, which ends after its one download.
finish() {
  wait "$machine_pid" 2>/dev/null || true
  stop_machine "$machine_pid"
}

echo "== native =="
start "$peer" --link "$work/tty"
"$host" --device "$work/tty" --blocks "$blocks"
finish
tail -n 1 "$work/machine.out"
start "$sim" --link "$work/tty" --program-us-per-block 0
printf 'tq8sim: '
"$host" --device "$work/tty" --blocks "$blocks"
stop_machine "$machine_pid"

if [ -f "$winhost" ]; then
  echo "== wine =="
  . scripts/wine-env.sh
  tq8_wine_prefix
  wineserver -p 30 >/dev/null 2>&1 || true
  link="$WINEPREFIX/dosdevices/com7"
  start "$peer" --link "$link"
  wine "$winhost" --port 7 --blocks "$blocks" | tr -d '\r'
  finish
  tail -n 1 "$work/machine.out"
  start "$sim" --link "$link" --program-us-per-block 0
  printf 'tq8sim: '
  wine "$winhost" --port 7 --blocks "$blocks" | tr -d '\r'
  stop_machine "$machine_pid"
  rm -f "$link"
fi
