#!/bin/bash
# Benchmark of the crash dialog (bench/crash_dialog_bench.cpp) under Wine: its first paint and
# the call-stack tab of a report with 20 threads. Needs the Windows build (scripts/test).
# Never fails on time.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
exe="$BUILD/win/bench/crash_dialog_bench.exe"
[ -x "$exe" ] || { echo "build first: scripts/test"; exit 1; }
ensure_display
trap 'stop_wineserver; stop_display' EXIT
ensure_prefix
wine "$exe" | tr -d '\r'
