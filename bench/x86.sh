#!/bin/bash
# Benchmark of the x86 decoder (bench/x86_bench.cpp, built natively without sanitizers) on
# the code section of Wine's largest 32-bit DLL, against objdump's time for the same bytes,
# and the analysis of every function kernelbase.dll exports;
# then the agreement with objdump over every 32-bit DLL of Wine (crash/core/x86/x86_check.py).
# Never fails on time.
set -euo pipefail
REPO="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$REPO/build/bench-host"
cmake -S "$REPO" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMIGATE_HOST_TOOLS=ON >/dev/null
cmake --build "$build" --target x86_bench x86_decode_dump >/dev/null
dlls=/usr/lib/i386-linux-gnu/wine/i386-windows
dll="$(ls -S "$dlls"/*.dll | sed -n 1p)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
i686-w64-mingw32-objcopy -O binary --only-section=.text "$dll" "$work/text.bin"
echo "$(basename "$dll") .text:"
"$build/bench/x86_bench" "$work/text.bin" "$dlls/kernelbase.dll" | tee "$work/ours.txt"
start=$(date +%s.%N)
i686-w64-mingw32-objdump -D -b binary -m i386 -M intel "$work/text.bin" >"$work/objdump.txt"
seconds=$(echo "$(date +%s.%N) - $start" | bc)
count=$(grep -c '^ *[0-9a-f]*:' "$work/objdump.txt")
theirs=$(echo "$count / $seconds" | bc -l)
printf 'objdump -d -M intel: %12.0f instructions/s\n' "$theirs"
alone=$(awk '/decoding alone/ {print $3}' "$work/ours.txt")
text=$(awk '/decoding with text/ {print $4}' "$work/ours.txt")
printf 'ratio to objdump: decoding alone %.1f, decoding with text %.1f\n' \
    "$(echo "$alone / $theirs" | bc -l)" "$(echo "$text / $theirs" | bc -l)"
echo "agreement with objdump over every 32-bit DLL of Wine:"
python3 "$REPO/crash/core/x86/x86_check.py" "$build/crash/core/x86/x86_decode_dump" --report "$dlls"/*.dll
