#!/usr/bin/env bash
# TQ8Flash.exe under wine and Xvfb, driven by the robot of tests/gui: the simulated machine
# on COM3 (COM2 in search-pressed-twice), the others of COM1 to COM3 silent ptys. Screenshots
# of every step land in build/windows-release/gui-test/shots.
#   test-gui.sh [SCENARIO...]   the scenarios named, or all
#   test-gui.sh --list          "SCENARIO SECONDS" a line: the scenarios and their time limits
#   test-gui.sh --one SCENARIO  the same as naming it
# CTest runs each scenario as a test of its own (label gui) and gives it its time limit in
# TQ8_TIME_LIMIT, which the robot's run keeps some seconds below.
set -euo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$TQ8_ROOT"
. scripts/lib.sh

win=build/windows-release
robot="$TQ8_ROOT/$win/tests/gui/gui_robot.exe"
# A prefix of its own: its COM ports and settings are the test's.
export WINEPREFIX="$TQ8_ROOT/$win/wineprefix-gui"
. scripts/wine-env.sh

case "${1:-}" in
  --list)
    tq8_wine_prefix
    wine "$robot" | tr -d '\r'
    exit 0 ;;
  --one) shift ;;
esac

# tq8sim, and tq8flash to compare the GUI's update with, of one native build
sim="$(tq8_native_tool tools/tq8sim/tq8sim)"
cli="$(tq8_native_tool src/cli/tq8flash)"
# the program and what ships beside it
program_files=("$win/src/app/TQ8Flash.exe" "$win/src/app/SysInfo.Dll"
               "$win/src/app/libgcrypt-20.dll" "$win/src/app/libgpg-error-0.dll")
for file in "${program_files[@]}" "$robot"; do
  if [ ! -f "$file" ]; then
    echo "build the windows-release preset first ($file is missing)" >&2
    exit 1
  fi
done
if [ -z "$sim" ] || [ -z "$cli" ]; then
  echo "build tq8sim and tq8flash first (native-debug or native-release)" >&2
  exit 1
fi
for tool in Xvfb bmptopnm pnmtopng python3; do
  command -v "$tool" >/dev/null || { echo "test-gui: $tool is missing (scripts/setup.sh)" >&2; exit 1; }
done

out="$TQ8_ROOT/$win/gui-test"
run="$out/run"
shots="$out/shots"
mkdir -p "$out"
rm -rf "$run"
mkdir -p "$run"
cp "${program_files[@]}" "$run/"
if [ -f "$win/src/app/VLdebug.dll" ]; then
  cp "$win/src/app/VLdebug.dll" "$run/"
fi

tq8_at_exit wineserver -k
. scripts/wine-display.sh
tq8_start_display "$out"
tq8_wine_prefix
wineserver -p 60 >"$out/wineserver.log" 2>&1 || true
tq8_desktop_settings

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
# the machine's COM port where it is not COM3
declare -A machine_port=(
  [search-pressed-twice]=2
)
# scenario locales: wine takes the user's language from the locale that the robot, and so
# the program, starts under
declare -A robot_locale=(
  [german-locale]=de_DE.UTF-8
  [bundle-refused-german]=de_DE.UTF-8
)
if [ "$#" -gt 0 ]; then
  scenarios=("$@")
else
  mapfile -t scenarios < <(wine "$robot" | tr -d '\r' | cut -d' ' -f1)
fi
# The robot's run ends in time for the clean-up before the test driver's limit.
robot_limit=$((${TQ8_TIME_LIMIT:-900} - 15))

passed=0
failed=0
for scenario in "${scenarios[@]}"; do
  [ -n "$scenario" ] || continue
  rm -rf "${shots:?}/$scenario"
  mkdir -p "$shots/$scenario"
  log="$out/$scenario.log"
  : >"$log"
  export TQ8_GUI_SHOTS
  TQ8_GUI_SHOTS="$(tq8_windows_path "$shots/$scenario")"
  started=$(date +%s)
  result=ok

  # Only the scenario's ports exist: COM1 to COM3, the machine's and silent ones, so that
  # wine maps none of them to a device of this machine.
  rm -f "$WINEPREFIX"/dosdevices/com[0-9]*
  port="${machine_port[$scenario]:-3}"
  silent=()
  for n in 1 2 3; do
    [ "$n" = "$port" ] || silent+=("$WINEPREFIX/dosdevices/com$n")
  done
  portlog="$out/$scenario.ports.log"
  : >"$portlog"
  start_machine "$out/$scenario.ports" python3 tests/gui/silent_ports.py "$portlog" "${silent[@]}" \
    2>>"$log" || result=FAIL
  ports_pid="$machine_pid"
  transcript="$out/$scenario.transcript"
  : >"$transcript"
  # the sample firmware and no trusted key, but for a signed bundle changed since
  rm -rf "$run/trusted-keys" "$run"/TQ8-*
  cp examples/firmware/TQ8-* "$run/"
  if [ "$scenario" = bundle-refused-german ]; then
    tq8_sign_bundle "$run" "$run/trusted-keys" "$cli" 2>>"$log" || result=FAIL
    tq8_change_program "$run"
  fi
  # every scenario meets a fresh machine, and leaves its own update records
  rm -f "$out/$scenario.state"
  rm -rf "$WINEPREFIX"/drive_c/users/*/AppData/Local/Ostrelwerk
  # shellcheck disable=SC2206 # the options are words for tq8sim
  options=("${common_sim_options[@]}" ${sim_options[$scenario]:-})
  start_machine "$out/$scenario.sim" "$sim" --link "$WINEPREFIX/dosdevices/com$port" \
    --state "$out/$scenario.state" --transcript "$transcript" "${options[@]}" 2>>"$log" ||
    result=FAIL
  sim_pid="$machine_pid"

  locale_env=()
  if [ -n "${robot_locale[$scenario]:-}" ]; then
    locale_env=(env "LC_ALL=${robot_locale[$scenario]}")
  fi
  if [ "$result" = ok ] && ! "${locale_env[@]}" timeout -k 5 "$robot_limit" wine "$robot" "$scenario" \
      >>"$log" 2>&1; then
    result=FAIL
  fi
  # What only the outside can see.
  case "$scenario" in
    update-at-start-up|update-german)
      grep -q '^TRAILER .* -> ACK' "$transcript" || { echo "  no acknowledged trailer" >>"$log"; result=FAIL; }
      [ "$scenario" = update-german ] ||
      python3 tests/gui/check_record.py docs/update-record.schema.json "$WINEPREFIX" completed \
        >>"$log" 2>&1 || { echo "  no valid update record" >>"$log"; result=FAIL; } ;;
    download-failure)
      # both updates, the English and the German one, fail there
      [ "$(grep -c '^BLOCK 200 .* -> NOACK' "$transcript")" -eq 2 ] ||
        { echo "  block 200 not refused in both downloads" >>"$log"; result=FAIL; } ;;
    checksum-failure)
      # both updates ask for all three areas, the application area's mismatch notwithstanding
      [ "$(grep -c '^CHECKSUM' "$transcript")" -eq 6 ] ||
        { echo "  not three checksum reports for each update" >>"$log"; result=FAIL; } ;;
    no-connection)
      if grep -q '^DL ' "$transcript"; then
        echo "  a download started without a connection" >>"$log"
        result=FAIL
      fi ;;
    quit-at-once | bundle-refused-german)
      if [ -s "$transcript" ] || [ -s "$portlog" ]; then
        echo "  a port was opened:" >>"$log"
        cat "$portlog" >>"$log"
        result=FAIL
      fi ;;
  esac
  stop_machine "$sim_pid"
  stop_machine "$ports_pid"
  if [ "$scenario" = update-at-start-up ] && [ "$result" = ok ]; then
    bash scripts/gui-cli-transcript.sh "$sim" "$cli" "$transcript" "$run" "$out/$scenario.cli" \
      "${options[@]}" >>"$log" 2>&1 || result=FAIL
  fi
  keep_shots "$shots/$scenario" "$log" || result=FAIL
  echo "$result  $scenario ($(( $(date +%s) - started )) s)"
  if [ "$result" = ok ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    tr -d '\r' <"$log" | sed 's/^/      /'
  fi
done
echo "gui tests: $passed passed, $failed failed; screenshots in $shots"
[ "$failed" -eq 0 ]
