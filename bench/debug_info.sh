#!/bin/bash
# Benchmark of the debug information (bench/debug_info_bench.cpp) under Wine: loading this
# program's own container and looking addresses up, against Wine's dbghelp reading the
# image's DWARF; then the container's size beside the DWARF size of lumigate.exe. Needs the
# Windows build (scripts/test). Never fails on time.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
exe="$BUILD/win/bench/debug_info_bench.exe"
[ -x "$exe" ] || { echo "build first: scripts/test"; exit 1; }
ensure_display
trap 'stop_wineserver; stop_display' EXIT
ensure_prefix
wine "$exe" | tr -d '\r'
# The first link keeps the DWARF that the shipped exe no longer carries.
image="$BUILD/win/app/lumigate_unsymbolized.exe"
dwarf=$(i686-w64-mingw32-objdump -h "$image" |
    python3 -c 'import sys; print(sum(int(p[2], 16) for p in (l.split() for l in sys.stdin) if len(p) > 2 and p[1].startswith(".debug_")))')
vex=$(stat -c %s "$BUILD/win/app/lumigate.vex")
printf 'lumigate.exe: container %d bytes, DWARF %d bytes (%.1f %%); shipped exe %d bytes, with DWARF %d bytes\n' \
    "$vex" "$dwarf" "$(echo "100 * $vex / $dwarf" | bc -l)" "$(stat -c %s "$BUILD/win/app/lumigate.exe")" "$(stat -c %s "$image")"
