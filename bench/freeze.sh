#!/bin/bash
# Benchmark of freeze detection (bench/freeze_bench.cpp) under Wine: the watchdog's cost
# to an idle program and the delay of a freeze report. Needs the Windows build (scripts/test).
# Never fails on time.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
exe="$BUILD/win/bench/freeze_bench.exe"
[ -x "$exe" ] || { echo "build first: scripts/test"; exit 1; }
ensure_display
trap 'stop_wineserver; stop_display' EXIT
ensure_prefix
wine "$exe" | tr -d '\r'
