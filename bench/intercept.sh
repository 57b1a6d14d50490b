#!/bin/bash
# Benchmark of the interception (bench/intercept_bench.cpp) under Wine: throws with and
# without it (ratio), its start-up time and memory, and the time from a fault to the record
# at the processor. Needs the Windows build (scripts/test). Never fails on time.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
exe="$BUILD/win/bench/intercept_bench.exe"
[ -x "$exe" ] || { echo "build first: scripts/test"; exit 1; }
ensure_display
trap 'stop_wineserver; stop_display' EXIT
ensure_prefix
wine "$exe" | tr -d '\r'
