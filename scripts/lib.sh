# shellcheck shell=bash
# Sourced by the scripts: the processes a script starts end with it, whichever way it ends,
# and a simulated machine is waited for with a deadline.

tq8_pids=()
tq8_exit_hooks=()

# tq8_track PID: ends the process at the script's exit.
tq8_track() {
  tq8_pids+=("$1")
}

# tq8_at_exit COMMAND...: runs after the tracked processes have ended.
tq8_at_exit() {
  tq8_exit_hooks+=("$(printf '%q ' "$@")")
}

tq8_exit() {
  local pid hook
  for pid in "${tq8_pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${tq8_pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  tq8_pids=()
  for hook in "${tq8_exit_hooks[@]}"; do
    eval "$hook" >/dev/null 2>&1 || true
  done
  tq8_exit_hooks=()
}
trap tq8_exit EXIT
# Stopped from outside (a test driver's time limit, Ctrl-C): the exit trap still runs.
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# start_machine PREFIX COMMAND...: starts a program that prints a first line once it serves
# (tq8sim and turnaround-peer their device's path, silent_ports.py "ready"), and waits for
# that line up to TQ8_START_SECONDS (10). Its output goes to PREFIX.out, its error output to
# PREFIX.err. Sets machine_pid and machine_device. When the program ends or the deadline
# passes first, its error output is shown and the call fails.
start_machine() {
  local prefix="$1"
  shift
  : >"$prefix.out"
  "$@" >"$prefix.out" 2>"$prefix.err" &
  machine_pid=$!
  tq8_track "$machine_pid"
  local deadline=$((SECONDS + ${TQ8_START_SECONDS:-10}))
  machine_device=""
  until IFS= read -r machine_device <"$prefix.out"; do
    if ! kill -0 "$machine_pid" 2>/dev/null || [ "$SECONDS" -ge "$deadline" ]; then
      echo "did not start: $*" >&2
      sed 's/^/  /' "$prefix.err" >&2
      stop_machine "$machine_pid"
      return 1
    fi
    sleep 0.05
  done
}

# stop_machine PID: ends a process that start_machine started, and waits for it.
stop_machine() {
  kill "$1" 2>/dev/null || true
  wait "$1" 2>/dev/null || true
  local pid kept=()
  for pid in "${tq8_pids[@]}"; do
    [ "$pid" = "$1" ] || kept+=("$pid")
  done
  tq8_pids=("${kept[@]}")
}

# tq8_native_tool PATH: the native build's program at PATH below the build folder
# (native-release first), "" when neither build has it.
tq8_native_tool() {
  local preset
  for preset in native-release native-debug; do
    if [ -x "$TQ8_ROOT/build/$preset/$1" ]; then
      echo "$TQ8_ROOT/build/$preset/$1"
      return
    fi
  done
}

# tq8_build PRESET TARGET...: configures the preset's build folder and builds the targets.
tq8_build() {
  local preset="$1"
  shift
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)" --target "$@" >/dev/null
}

# tq8_sign_bundle DIR KEY_FOLDER TQ8FLASH: a fresh key pair (public key KEY_FOLDER/release.pub,
# secret key DIR.key), DIR's manifest written by the native TQ8FLASH and signed with minisign.
tq8_sign_bundle() {
  mkdir -p "$2" && minisign -G -W -f -p "$2/release.pub" -s "$1.key" >/dev/null &&
    "$3" bundle make --dir "$1" >/dev/null &&
    minisign -Sm "$1/TQ8-BUNDLE.INI" -s "$1.key" >/dev/null
}

# tq8_change_program DIR: a count record appended to the program file changes neither its image
# nor its CRC-32; only the signed manifest tells.
tq8_change_program() { printf 'S5030001FB\r\n' >>"$1/TQ8-PROG.MOT"; }
