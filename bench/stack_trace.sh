#!/bin/bash
# Benchmark of the stack tracer (bench/stack_trace_bench.cpp) under Wine: a 1 MB stack of a
# deep recursion and twenty threads of a busy process, traced from their captured contexts,
# with dbghelp's StackWalk64 on the same contexts as the ratio. Needs the Windows build
# (scripts/test). Never fails on time.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
exe="$BUILD/win/bench/stack_trace_bench.exe"
[ -x "$exe" ] || { echo "build first: scripts/test"; exit 1; }
ensure_display
trap 'stop_wineserver; stop_display' EXIT
ensure_prefix
wine "$exe" | tr -d '\r'
