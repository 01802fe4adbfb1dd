#!/usr/bin/env bash
# The builds that the steps of scripts/test.sh after the native tests need, one after the
# other, in the order those steps come: scripts/test.sh runs this in the background while
# the native tests run. Each build writes its output to LOGS/NAME.log and, once it has
# ended, its exit status to LOGS/NAME.status; LOGS/ended marks the end of them all.
# Usage: scripts/test-builds.sh LOGS
set -uo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$TQ8_ROOT"
logs="$1"
trap 'touch "$logs/ended"' EXIT
jobs="$(nproc)"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

# The tests where threads meet (the ThreadSanitizer step of scripts/test.sh).
tsan() {
  cmake --preset native-tsan >/dev/null &&
    cmake --build --preset native-tsan -j "$jobs" \
      --target serial_tests rfc2217_tests protocol_tests update_tests vldebug_binding_tests
}

# The Windows build with its wine prefix. The release's Windows build compiles what this one
# compiled, with the same flags and locale: ccache serves it from this one.
windows() {
  . scripts/wine-env.sh
  cmake --preset windows-release "${launcher[@]}" >/dev/null &&
    cmake --build --preset windows-release -j "$jobs" &&
    tq8_wine_prefix
}

# The fuzz targets alone (scripts/test-fuzz.sh runs them): the rest of the product compiled
# once more by clang would take as long as the Windows build.
fuzz() {
  cmake --preset fuzz >/dev/null &&
    cmake --build --preset fuzz -j "$jobs" \
      --target fuzz_targets
}

release() {
  bash scripts/release.sh
}

for build in tsan windows fuzz release; do
  "$build" >"$logs/$build.log" 2>&1
  echo "$?" >"$logs/$build.status"
done
