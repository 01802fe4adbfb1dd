#!/usr/bin/env bash
# The main job. Until the update command exists it shows the built program's version.
set -euo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$TQ8_ROOT"
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j "$(nproc)" --target tq8flash
build/native-release/src/cli/tq8flash --version
