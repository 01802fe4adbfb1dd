#!/usr/bin/env bash
# Builds both targets and runs every test: natively under ASan and UBSan; the Windows build
# under wine, with the protocol tests against tq8sim (label wine) and the GUI scenarios
# (label gui), which need tq8sim of the native build; the fuzz targets; the packages of one
# release build, installed.
set -euo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$TQ8_ROOT"
jobs="$(nproc)"
# Most tests wait: for a line's time limit, a simulated machine's answer, a child's end.
# Two per core keep the cores busy and leave every test its time limits.
test_jobs=$((jobs * 2))
status=0
# The release's Windows build compiles what the Windows test build compiled already, with the
# same flags and locale (the windows-release presets): ccache serves it from that build. Paths
# below the checkout count relative to it, so the two build folders share their entries, and
# a miss reads the compiler's dependency list instead of running the preprocessor again.
if command -v ccache >/dev/null; then
  export CCACHE_BASEDIR="$TQ8_ROOT" CCACHE_DEPEND=1
fi

echo "== native (ASan, UBSan) =="
cmake --preset native-debug >/dev/null
cmake --build --preset native-debug -j "$jobs"

# The other builds compile meanwhile (scripts/test-builds.sh), at the lowest priority: the
# native tests mostly wait, and the tests' processes come first whenever they want a core.
# The builds run in a session of their own, which ends with this script however it ends.
logs="$TQ8_ROOT/build/test-logs"
rm -rf "$logs"
mkdir -p "$logs"
setsid nice -n 19 bash scripts/test-builds.sh "$logs" &
builds=$!
trap 'kill -- "-$builds" 2>/dev/null || true' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# built NAME [quiet]: waits for that background build and shows its output (quiet: only
# when it failed); fails when the build did. While nothing but the build is left to wait
# for, it runs at the usual priority (where this script may raise it: as root).
built() {
  if [ ! -f "$logs/$1.status" ]; then
    renice -n 0 -g "$builds" >/dev/null 2>&1 || true
  fi
  until [ -f "$logs/$1.status" ]; do
    if [ -f "$logs/ended" ] && [ ! -f "$logs/$1.status" ]; then
      echo "the $1 build did not end"
      return 1
    fi
    sleep 1
  done
  renice -n 19 -g "$builds" >/dev/null 2>&1 || true
  if [ "$(cat "$logs/$1.status")" -eq 0 ]; then
    [ "${2:-}" = quiet ] || cat "$logs/$1.log"
    return 0
  fi
  tail -100 "$logs/$1.log"
  echo "the $1 build failed"
  return 1
}

ctest --preset native-debug -j "$test_jobs" || status=1

echo "== native (ThreadSanitizer): the tests where threads meet =="
# The serial service and its poll thread, network ports, the protocol and the update against the
# simulated machine's thread, and trace lines from two threads. Any report fails the step,
# also one from a process whose exit status a test does not look at. The download faults
# one by one only repeat the update's single-threaded logic at other blocks: left out, they
# would take two thirds of the step's time.
tsan_reports="$TQ8_ROOT/build/native-tsan/tsan-reports"
rm -rf "$tsan_reports"
mkdir -p "$tsan_reports"
if built tsan; then
  TSAN_OPTIONS="log_path=$tsan_reports/report" \
    ctest --preset native-tsan -j "$test_jobs" -L '^(serial|protocol|update|vldebug)$' \
    -E '/DownloadFaults\.' || status=1
else
  status=1
fi
if compgen -G "$tsan_reports/report*" >/dev/null; then
  cat "$tsan_reports"/report*
  echo "ThreadSanitizer reported the races above"
  status=1
fi

echo "== windows (MinGW-w64, under wine) =="
. scripts/wine-env.sh
if built windows; then
  tq8_wine_prefix
  ctest --preset windows-release -j "$jobs" || status=1
  bash scripts/test-wine-line.sh || status=1
else
  status=1
fi

echo "== fuzz =="
if built fuzz quiet; then
  TQ8_FUZZ_BUILT=1 bash scripts/test-fuzz.sh || status=1
else
  status=1
fi

echo "== release build, installed =="
if built release quiet; then
  for install in scripts/test-install-*.sh; do
    echo "== $(basename "$install" .sh) =="
    TQ8_RELEASE_BUILT=1 bash "$install" || status=1
  done
else
  echo "the release build failed"
  status=1
fi

if [ "$status" -ne 0 ]; then
  echo "some tests failed"
fi
exit "$status"
