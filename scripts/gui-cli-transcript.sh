#!/usr/bin/env bash
# The machine sees the same update whichever front end runs it: the transcript that tq8sim
# kept of an update by TQ8Flash.exe must equal the one of `tq8flash update --yes` of the
# same firmware against a fresh tq8sim with the same options. scripts/test-gui.sh runs it
# after its scenario update-at-start-up.
# Usage: gui-cli-transcript.sh TQ8SIM TQ8FLASH GUI_TRANSCRIPT FIRMWARE_DIR WORK_DIR [TQ8SIM_OPTION...]
set -euo pipefail

sim="$1"
cli="$2"
gui_transcript="$3"
firmware="$4"
work="$5"
shift 5

rm -rf "$work"
mkdir -p "$work"
. "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
transcript="$work/cli.transcript"
start_machine "$work/sim" "$sim" --state "$work/state" --transcript "$transcript" "$@"

# Settings of its own, so that neither the user's port selection nor anything else of the
# user's reaches the run.
status=0
XDG_CONFIG_HOME="$work/config" timeout 300 "$cli" update --port "$machine_device" \
  --dir "$firmware" --yes >"$work/cli.out" 2>&1 || status=$?
stop_machine "$machine_pid"
if [ "$status" -ne 0 ]; then
  echo "tq8flash update ended with $status:"
  tail -n 5 "$work/cli.out"
  exit 1
fi

# tq8sim dates nothing in its transcript (the erase times it reports are its own settings),
# so the lines are compared as they stand. The update record holds the day: both runs must
# fall on the same one.
if ! diff -u --label TQ8Flash.exe --label tq8flash "$gui_transcript" "$transcript" \
  >"$work/transcript.diff"; then
  echo "the machine saw another exchange from tq8flash ($(grep -c '^[-+][^-+]' "$work/transcript.diff") lines differ):"
  head -n 20 "$work/transcript.diff"
  exit 1
fi
echo "same exchange as tq8flash: $(wc -l <"$transcript") transcript lines"
