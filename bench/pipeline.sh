#!/bin/bash
# Benchmark of the handling pipeline (bench/pipeline_bench.cpp) under Wine: a dispatch's way
# to the crash dialog and to the pipeline's end. Needs the Windows build (scripts/test).
# Never fails on time.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
exe="$BUILD/win/bench/pipeline_bench.exe"
[ -x "$exe" ] || { echo "build first: scripts/test"; exit 1; }
ensure_display
trap 'stop_wineserver; stop_display' EXIT
ensure_prefix
wine "$exe" | tr -d '\r'
