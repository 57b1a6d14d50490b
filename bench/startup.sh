#!/bin/bash
# Benchmark of the crash reporter's cost on start-up (bench/startup_bench.cpp) under Wine:
# lumigate.exe against the same program built without the reporter, in the same run. Needs the
# Windows build (scripts/test). Never fails on time.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
exe="$BUILD/win/bench/startup_bench.exe"
[ -x "$exe" ] || { echo "build first: scripts/test"; exit 1; }
ensure_display
trap 'stop_wineserver; stop_display' EXIT
ensure_prefix
wine "$exe" "$(winepath -w "$BUILD/win/app/lumigate.exe")" \
    "$(winepath -w "$BUILD/win/bench/lumigate_without_reporter.exe")" "${1:-15}" | tr -d '\r'
