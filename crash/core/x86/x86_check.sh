#!/bin/bash
# Compiles some of this project's sources for i686 in several ways (plain, optimized, with
# SSE arithmetic) and compares the decoder with objdump on the code.
set -euo pipefail
dump="$1"
repo="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
objects=()
n=0
for src in crash/imaging/wu_quantizer.cpp crash/imaging/zoom.cpp base/utf.cpp crash/core/x86/x86_decoder.cpp \
           base/property_stream.cpp; do
    for flags in "-O0" "-O2" "-O2 -msse3 -mfpmath=sse" "-Os -fomit-frame-pointer"; do
        n=$((n + 1))
        i686-w64-mingw32-g++-posix -std=c++20 -I"$repo" $flags -c "$repo/$src" -o "$work/$n.o"
        objects+=("$work/$n.o")
    done
done
python3 "$repo/crash/core/x86/x86_check.py" "$dump" "${objects[@]}"
