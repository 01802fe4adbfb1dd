#!/usr/bin/env bash
# The Windows artefacts under wine, in a wine prefix of their own: the portable zip runs
# from wherever it is unpacked; the installer installs for the current user (and, run
# elevated, for every user), registers its uninstaller, and the uninstaller removes
# everything it installed but leaves the settings. Both the unpacked and the installed
# TQ8Flash.exe are started on a private display up to their first question, which the robot
# of tests/gui answers No, and then Yes at the quit question.
set -euo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$TQ8_ROOT"

# scripts/test.sh makes the release once for both install tests.
[ -n "${TQ8_RELEASE_BUILT:-}" ] || bash scripts/release.sh windows >/dev/null
robot="$TQ8_ROOT/build/windows-release/tests/gui/gui_robot.exe"
if [ ! -f "$robot" ]; then
  cmake --preset windows-release >/dev/null
  cmake --build --preset windows-release -j "$(nproc)" --target gui_robot >/dev/null
fi
version="$(sed -n 's/^project(TQ8Flash VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)"
zip="dist/TQ8Flash-$version-win64.zip"
setup="$TQ8_ROOT/dist/TQ8Flash-$version-setup.exe"

export WINEPREFIX="$TQ8_ROOT/build/wine-install-test"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
wineboot -i >/dev/null 2>&1 || true
wineserver -w
work="$(mktemp -d /tmp/tq8-windows-test.XXXXXX)"
. scripts/lib.sh
tq8_at_exit wineserver -k
tq8_at_exit rm -rf "$work" "$WINEPREFIX"
. scripts/wine-display.sh
tq8_start_display "$work"
tq8_desktop_settings

. scripts/checks.sh
start_up() {  # start_up EXE: the first question answered No, the quit question Yes
  TQ8_GUI_EXE="$(tq8_windows_path "$1")" wine "$robot" quit-at-once
}
wine_out() { wine "$@" 2>/dev/null | tr -d '\r'; }
reg_value() {  # reg_value KEY NAME: the value's data, empty when missing
  wine_out reg query "$1" /v "$2" | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}

uninstall_key='HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ostrelwerk.TQ8Flash'
machine_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ostrelwerk.TQ8Flash'
settings_key='HKCU\SOFTWARE\Ostrelwerk\TQ8Flash'
user_dir="$WINEPREFIX/drive_c/users/$(id -un)"
shortcut="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/TQ8Flash.lnk"

# The portable folder: complete wherever it is unpacked.
(cd "$work" && unzip -q "$TQ8_ROOT/$zip")
check "zip: tq8flash-cli.exe --version" \
  test "$(cd "$work/TQ8Flash" && wine_out tq8flash-cli.exe --version)" = "tq8flash $version"
check "zip: the sample firmware loads and verifies" \
  bash -c "cd '$work/TQ8Flash' && wine tq8flash-cli.exe inspect examples/firmware/TQ8-PROG.MOT \
    examples/firmware/TQ8-TEXT.MOT >/dev/null 2>&1"
check "zip: TQ8Flash.exe starts up to its questions and quits" start_up "$work/TQ8Flash/TQ8Flash.exe"
check "zip: libgcrypt's DLLs beside the programs, an empty trusted-keys folder" \
  bash -c "cd '$work/TQ8Flash' && test -f libgcrypt-20.dll -a -f libgpg-error-0.dll &&
    test -d trusted-keys -a -z \"\$(ls -A trusted-keys)\""
check "zip: the read-me has CR LF line ends only" \
  bash -c "! tr -d '\r' <'$work/TQ8Flash/README.txt' | cmp -s - '$work/TQ8Flash/README.txt' &&
    ! grep -q \$'[^\r]\$' '$work/TQ8Flash/README.txt'"

# Per user: the default for a run that is not elevated. Wine runs every program as an
# administrator, so the test asks for the current user explicitly.
wine "$setup" /S /CURRENTUSER >/dev/null 2>&1
wineserver -w
dir="$user_dir/AppData/Local/Programs/Ostrelwerk/TQ8Flash"
wine reg add "$settings_key" /v Interface /t REG_DWORD /d 3 /f >/dev/null 2>&1
installed_ok() {
  local f
  for f in $(cd "$work/TQ8Flash" && find . -type f -printf '%P\n'); do
    cmp "$work/TQ8Flash/$f" "$dir/$f" || return 1
  done
  test -f "$dir/Uninstall.exe"
}
check "per user: every file of the zip in %LOCALAPPDATA%\\Programs\\Ostrelwerk\\TQ8Flash" installed_ok
check "per user: Start-menu shortcut" test -f "$shortcut"
check "per user: the trusted-keys folder" test -d "$dir/trusted-keys"
check "per user: uninstaller registered under HKCU" \
  bash -c "reg=\$(wine reg query '$uninstall_key' /v UninstallString 2>/dev/null | tr -d '\r');
    grep -q 'Uninstall.exe' <<<\"\$reg\""
check "per user: the installed program runs" \
  test "$(wine_out "$dir/tq8flash-cli.exe" --version)" = "tq8flash $version"
check "per user: the installed TQ8Flash.exe starts up to its questions and quits" \
  start_up "$dir/TQ8Flash.exe"
wine "$dir/Uninstall.exe" /S >/dev/null 2>&1
wineserver -w
check "per user: the uninstaller removed the folder" test ! -e "$dir"
check "per user: and the shortcut" test ! -e "$shortcut"
check "per user: and its registration" test -z "$(reg_value "$uninstall_key" UninstallString)"
check "per user: the settings stay" test "$(reg_value "$settings_key" Interface)" = 0x3

# Elevated: for every user into Program Files.
wine "$setup" /S >/dev/null 2>&1
wineserver -w
dir="$WINEPREFIX/drive_c/Program Files/Ostrelwerk/TQ8Flash"
check "elevated: installed into Program Files" test -f "$dir/tq8flash-cli.exe"
check "elevated: the installed TQ8Flash.exe starts up to its questions and quits" \
  start_up "$dir/TQ8Flash.exe"
check "elevated: uninstaller registered under HKLM" \
  test -n "$(reg_value "$machine_key" UninstallString)"
# A key that the administrator trusts is no file of the installer's.
echo "untrusted comment: an administrator's key" >"$dir/trusted-keys/station.pub"
wine "$dir/Uninstall.exe" /S >/dev/null 2>&1
wineserver -w
check "elevated: the uninstaller removed all but the administrator's key, and its registration" \
  test "$(cd "$dir" && find . ! -name . -printf '%P\n' | sort | tr '\n' ' ')" = \
    "trusted-keys trusted-keys/station.pub " -a -z "$(reg_value "$machine_key" UninstallString)"

echo "test-install-windows: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
