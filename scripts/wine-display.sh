# Sourced by the scripts that show TQ8Flash.exe's windows: a private X display, and the
# prefix settings the robot of tests/gui relies on.

# tq8_start_display DIR: starts Xvfb (it picks a free display number itself), exports
# DISPLAY and sets tq8_display_pid; the server's log goes to DIR/xvfb.log.
tq8_start_display() {
  local dir="$1"
  local displayfile="$dir/display"
  rm -f "$displayfile"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$displayfile" >"$dir/xvfb.log" 2>&1 &
  tq8_display_pid=$!
  for _ in $(seq 100); do
    [ -s "$displayfile" ] && break
    sleep 0.05
  done
  if [ ! -s "$displayfile" ]; then
    echo "Xvfb did not start (see $dir/xvfb.log)" >&2
    return 1
  fi
  export DISPLAY=":$(cat "$displayfile")"
}

# tq8_desktop_settings: run after the prefix exists.
tq8_desktop_settings() {
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
