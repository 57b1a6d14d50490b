#!/bin/bash
# Benchmark of the marquee's paint (bench/marquee_bench.cpp) under Wine, on a private X
# display when there is none. Needs the Windows build (scripts/test). Never fails on time.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
exe="$BUILD/win/bench/marquee_bench.exe"
[ -x "$exe" ] || { echo "build first: scripts/test"; exit 1; }
ensure_display
trap 'stop_wineserver; stop_display' EXIT
ensure_prefix
wine "$exe" | tr -d '\r'
