#!/usr/bin/env bash
# The update path against the paced simulated machine, natively (native-release):
#   1. RawDownload through RS232 and ProtokollTQ8 at 38400 baud, in the same run as the
#      simulator's minimal host, both against the wire-time bound;
#   2. a whole `tq8flash update` of the sample bundle against its bound.
# Takes a few minutes: every byte takes its wire time. Not part of scripts/test.sh.
#   bash scripts/bench-update.sh [RUNS]
set -euo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$TQ8_ROOT"
runs="${1:-1}"
. scripts/lib.sh
build=build/native-release
tq8_build native-release update_raw_bench tq8flash tq8sim

echo "== RawDownload against the minimal host =="
"$build/bench/update/update_raw_bench"

echo "== tq8flash update of the sample bundle =="
python3 bench/update/update_bench.py "$build/src/cli/tq8flash" "$build/tools/tq8sim/tq8sim" \
  examples/firmware --runs "$runs"
