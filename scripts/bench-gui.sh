#!/usr/bin/env bash
# The downloads of TQ8Flash.exe under wine against the paced simulated machine, each against
# its wire-time bound (bench/gui). Needs the windows-release build and a native tq8sim.
# The Windows command line makes the same downloads for comparison. Every byte takes its
# wire time: about three minutes a run. Not part of test.sh.
#   bash scripts/bench-gui.sh [RUNS]
set -euo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$TQ8_ROOT"
runs="${1:-1}"
win=build/windows-release
. scripts/lib.sh
tq8_build native-release tq8sim
tq8_build windows-release TQ8Flash gui_robot tq8flash
sim="$TQ8_ROOT/build/native-release/tools/tq8sim/tq8sim"

export WINEPREFIX="$TQ8_ROOT/$win/wineprefix-bench"
. scripts/wine-env.sh
out="$TQ8_ROOT/$win/gui-bench"
rm -rf "$out"
mkdir -p "$out"
cp "$win/src/app/TQ8Flash.exe" "$win/src/app/SysInfo.Dll" "$win/src/app/libgcrypt-20.dll" \
  "$win/src/app/libgpg-error-0.dll" examples/firmware/TQ8-* "$out/"

. scripts/wine-display.sh
tq8_at_exit wineserver -k
tq8_start_display "$out"
tq8_wine_prefix
wineserver -p 60 >/dev/null 2>&1 || true
tq8_desktop_settings
rm -f "$WINEPREFIX"/dosdevices/com[0-9]*

export TQ8_GUI_EXE
TQ8_GUI_EXE="$(tq8_windows_path "$out/TQ8Flash.exe")"
robot="$TQ8_ROOT/$win/tests/gui/gui_robot.exe"
echo "== TQ8Flash.exe =="
python3 bench/gui/gui_download_bench.py "$robot" "$sim" "$WINEPREFIX/dosdevices/com3" --runs "$runs"
echo "== tq8flash-cli.exe under wine, for comparison =="
python3 bench/gui/gui_download_bench.py "$robot" "$sim" "$WINEPREFIX/dosdevices/com3" --runs "$runs" \
  --cli "$TQ8_ROOT/$win/src/cli/tq8flash-cli.exe" --cli-dir "$(tq8_windows_path "$out")"
