#!/bin/bash
# Benchmark of the HTML parser and layout (bench/html_bench.cpp), built natively without
# sanitizers. Never fails on time.
set -euo pipefail
REPO="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$REPO/build/bench-host"
cmake -S "$REPO" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMIGATE_HOST_TOOLS=ON >/dev/null
cmake --build "$build" --target html_bench >/dev/null
"$build/bench/html_bench"
