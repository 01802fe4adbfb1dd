#!/usr/bin/env bash
# A paced update of the sample bundle through ser2net on loopback (rfc2217://), with the
# README's configuration and with ser2net's defaults, beside the direct update, natively
# (native-release). Takes several minutes. Not part of scripts/test.sh.
#   bash scripts/bench-network.sh [RUNS]
set -euo pipefail
TQ8_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$TQ8_ROOT"
runs="${1:-1}"
. scripts/lib.sh
build=build/native-release
tq8_build native-release tq8flash tq8sim
PATH="$PATH:/usr/sbin" python3 bench/network/network_bench.py "$build/src/cli/tq8flash" \
  "$build/tools/tq8sim/tq8sim" examples/firmware --runs "$runs"
