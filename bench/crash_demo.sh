#!/bin/bash
# Benchmark of a crash as the user meets it (bench/crash_demo_bench.cpp) under Wine: the crash
# demo with 20 more threads, from the crash to the crash dialog's first paint and to the saved
# report. Needs the Windows build (scripts/test). Never fails on time.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
exe="$BUILD/win/bench/crash_demo_bench.exe"
[ -x "$exe" ] || { echo "build first: scripts/test"; exit 1; }
ensure_display
trap 'stop_wineserver; stop_display' EXIT
ensure_prefix
wine "$exe" "$(winepath -w "$BUILD/win/demo/crash_demo.exe")" "${1:-7}" | tr -d '\r'
