#!/usr/bin/env bash
# TQ8Flash.exe under wine and Xvfb, driven by the robot of tests/gui: COM1 and COM2 are
# silent ptys, COM3 the simulated machine. Screenshots of every step land in
# build/windows-release/gui-test/shots. Usage: test-gui.sh [SCENARIO...]
set -euo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$TQ8_ROOT"

win=build/windows-release
# tq8sim, and tq8flash to compare the GUI's update with, of one native build
sim=""
cli=""
for preset in native-release native-debug; do
  if [ -x "build/$preset/tools/tq8sim/tq8sim" ] && [ -x "build/$preset/src/cli/tq8flash" ]; then
    sim="$TQ8_ROOT/build/$preset/tools/tq8sim/tq8sim"
    cli="$TQ8_ROOT/build/$preset/src/cli/tq8flash"
    break
  fi
done
for file in "$win/src/app/TQ8Flash.exe" "$win/src/app/SysInfo.Dll" "$win/tests/gui/gui_robot.exe"; do
  if [ ! -f "$file" ]; then
    echo "build the windows-release preset first ($file is missing)" >&2
    exit 1
  fi
done
if [ -z "$sim" ]; then
  echo "build tq8sim and tq8flash first (native-debug or native-release)" >&2
  exit 1
fi
for tool in Xvfb bmptopnm pnmtopng python3; do
  command -v "$tool" >/dev/null || { echo "test-gui: $tool is missing (scripts/setup.sh)" >&2; exit 1; }
done

# A prefix of its own: its COM ports and settings are the test's.
export WINEPREFIX="$TQ8_ROOT/$win/wineprefix-gui"
. scripts/wine-env.sh
out="$TQ8_ROOT/$win/gui-test"
run="$out/run"
shots="$out/shots"
rm -rf "$run" "$shots"
mkdir -p "$run" "$shots"
cp "$win/src/app/TQ8Flash.exe" "$win/src/app/SysInfo.Dll" examples/firmware/TQ8-* "$run/"
if [ -f "$win/src/app/VLdebug.dll" ]; then
  cp "$win/src/app/VLdebug.dll" "$run/"
fi
robot="$TQ8_ROOT/$win/tests/gui/gui_robot.exe"

pids=()
cleanup() {
  local pid
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  wineserver -k 2>/dev/null || true
}
trap cleanup EXIT

. scripts/wine-display.sh
tq8_start_display "$out"
pids+=("$tq8_display_pid")

tq8_wine_prefix
wineserver -p 60 >"$out/wineserver.log" 2>&1 || true
tq8_desktop_settings

# Only the test's ports exist.
rm -f "$WINEPREFIX"/dosdevices/com[0-9]*
portlog="$out/ports.log"
: >"$portlog"
python3 tests/gui/silent_ports.py "$portlog" "$WINEPREFIX/dosdevices/com1" \
  "$WINEPREFIX/dosdevices/com2" >"$out/ports.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  grep -q ready "$out/ports.out" 2>/dev/null && break
  sleep 0.05
done

# The robot saves its screenshots as BMP (it reads the screen through wine, which shows
# dialogs that the X root has black) and fails a scenario whose window came out all one
# colour; they are kept as PNG.
keep_shots() {  # keep_shots DIR LOG
  local bmp png status=0
  for bmp in "$1"/*.bmp; do
    [ -e "$bmp" ] || continue
    png="${bmp%.bmp}.png"
    if ! bmptopnm "$bmp" 2>/dev/null | pnmtopng >"$png" 2>/dev/null; then
      echo "  screenshot $(basename "$png"): cannot convert" >>"$2"
      status=1
    fi
    rm -f "$bmp"
  done
  return "$status"
}

export TQ8_GUI_EXE TQ8_GUI_PROBE TQ8_GUI_PROBE_OUT
TQ8_GUI_EXE="$(tq8_windows_path "$run/TQ8Flash.exe")"
TQ8_GUI_PROBE="$(tq8_windows_path "$TQ8_ROOT/$win/tests/gui/gui_menu_probe.dll")"
TQ8_GUI_PROBE_OUT="$(tq8_windows_path "$out/menu.txt")"

# options for tq8sim: every scenario's, and a scenario's own
common_sim_options=(--var "2398=4711")
declare -A sim_options=(
  [download-failure]="--block-noack 200 --in-download 2 --block-noack 200"
  [checksum-failure]="--checksum-mismatch 1"
  [no-connection]="--nak ReadVariable"
)
# scenario locales: wine takes the user's language from the locale that the robot, and so
# the program, starts under
declare -A robot_locale=(
  [german-locale]=de_DE.UTF-8
)
if [ "$#" -gt 0 ]; then
  scenarios=("$@")
else
  mapfile -t scenarios < <(wine "$robot" | tr -d '\r')
fi

passed=0
failed=0
for scenario in "${scenarios[@]}"; do
  [ -n "$scenario" ] || continue
  mkdir -p "$shots/$scenario"
  export TQ8_GUI_SHOTS
  TQ8_GUI_SHOTS="$(tq8_windows_path "$shots/$scenario")"
  link="$WINEPREFIX/dosdevices/com3"
  transcript="$out/$scenario.transcript"
  : >"$transcript"
  rm -f "$link"
  # every scenario meets a fresh machine, and leaves its own update records
  rm -f "$out/$scenario.state"
  rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Local/Ostrelwerk
  # shellcheck disable=SC2206 # the options are words for tq8sim
  options=("${common_sim_options[@]}" ${sim_options[$scenario]:-})
  "$sim" --link "$link" --state "$out/$scenario.state" --transcript "$transcript" \
    "${options[@]}" >"$out/$scenario.sim" 2>&1 &
  simpid=$!
  for _ in $(seq 100); do
    [ -L "$link" ] && break
    sleep 0.05
  done
  : >"$portlog"
  started=$(date +%s)
  result=ok
  locale_env=()
  if [ -n "${robot_locale[$scenario]:-}" ]; then
    locale_env=(env "LC_ALL=${robot_locale[$scenario]}")
  fi
  if ! "${locale_env[@]}" wine "$robot" "$scenario" >"$out/$scenario.log" 2>&1; then
    result=FAIL
  fi
  # What only the outside can see.
  case "$scenario" in
    update-at-start-up|update-german)
      grep -q '^TRAILER .* -> ACK' "$transcript" || { echo "  no acknowledged trailer" >>"$out/$scenario.log"; result=FAIL; }
      [ "$scenario" = update-german ] ||
      python3 tests/gui/check_record.py docs/update-record.schema.json "$WINEPREFIX" completed \
        >>"$out/$scenario.log" 2>&1 || { echo "  no valid update record" >>"$out/$scenario.log"; result=FAIL; } ;;
    download-failure)
      # both updates, the English and the German one, fail there
      [ "$(grep -c '^BLOCK 200 .* -> NOACK' "$transcript")" -eq 2 ] ||
        { echo "  block 200 not refused in both downloads" >>"$out/$scenario.log"; result=FAIL; } ;;
    checksum-failure)
      # both updates ask for all three areas, the application area's mismatch notwithstanding
      [ "$(grep -c '^CHECKSUM' "$transcript")" -eq 6 ] ||
        { echo "  not three checksum reports for each update" >>"$out/$scenario.log"; result=FAIL; } ;;
    no-connection)
      if grep -q '^DL ' "$transcript"; then
        echo "  a download started without a connection" >>"$out/$scenario.log"
        result=FAIL
      fi ;;
    quit-at-once)
      if [ -s "$transcript" ] || [ -s "$portlog" ]; then
        echo "  a port was opened:" >>"$out/$scenario.log"
        cat "$portlog" >>"$out/$scenario.log"
        result=FAIL
      fi ;;
  esac
  kill "$simpid" 2>/dev/null || true
  wait "$simpid" 2>/dev/null || true
  if [ "$scenario" = update-at-start-up ] && [ "$result" = ok ]; then
    bash scripts/gui-cli-transcript.sh "$sim" "$cli" "$transcript" "$run" "$out/$scenario.cli" \
      "${options[@]}" >>"$out/$scenario.log" 2>&1 || result=FAIL
  fi
  keep_shots "$shots/$scenario" "$out/$scenario.log" || result=FAIL
  echo "$result  $scenario ($(( $(date +%s) - started )) s)"
  if [ "$result" = ok ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    tr -d '\r' <"$out/$scenario.log" | sed 's/^/      /'
  fi
done
echo "gui tests: $passed passed, $failed failed; screenshots in $shots"
[ "$failed" -eq 0 ]
