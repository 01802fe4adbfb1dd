#!/usr/bin/env bash
# The main job: builds tq8flash and runs a complete update of the sample firmware
# (examples/firmware) against the simulated machine, as an operator sees it.
set -euo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$TQ8_ROOT"
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j "$(nproc)" --target tq8flash tq8sim
exec build/native-release/src/cli/tq8flash demo "$@"
