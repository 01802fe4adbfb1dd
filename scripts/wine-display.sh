# shellcheck shell=bash
# Sourced by the scripts that show TQ8Flash.exe's windows: a private X display, and the
# prefix settings the robot of tests/gui relies on.

# tq8_start_display DIR: starts Xvfb (it picks a free display number itself and tells it on
# its first line) for the rest of the script (scripts/lib.sh ends it) and exports DISPLAY;
# the server's output goes to DIR/xvfb.out and DIR/xvfb.err.
tq8_start_display() {
  start_machine "$1/xvfb" Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp || return 1
  export DISPLAY=":$machine_device"
}

# tq8_desktop_settings: run after the prefix exists.
tq8_desktop_settings() {
  # Each wine start costs a second or more: a prefix that has them already is left alone.
  if grep -q '^"Decorated"="N"' "$WINEPREFIX/user.reg" 2>/dev/null &&
      grep -q '^"Managed"="N"' "$WINEPREFIX/user.reg" &&
      sed -n '/^\[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\\\\AeDebug\]/,/^$/p' \
        "$WINEPREFIX/system.reg" 2>/dev/null | grep -q '^"Debugger"=""$'; then
    return 0
  fi
  # Without a window manager wine draws caption bars only when it manages them itself.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  # A crash ends the program at once instead of waiting in the debugger.
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d '' \
    /f >/dev/null 2>&1
}

# tq8_windows_path PATH: the path as a wine program sees it.
tq8_windows_path() {
  local path="${1//\//\\}"
  printf 'Z:%s' "$path"
}
