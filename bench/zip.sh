#!/bin/bash
# Benchmark of the zip writer (bench/zip_bench.cpp, built natively without sanitizers) against
# Info-ZIP's zip -6 on the same files, a 10 MB report file and a 2 MB screenshot: time, bytes,
# and ours as a ratio of zip's (each the best of three runs; zip's includes its start).
# Never fails on time.
set -euo pipefail
REPO="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
command -v zip >/dev/null && command -v unzip >/dev/null ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq zip unzip >/dev/null
build="$REPO/build/bench-host"
cmake -S "$REPO" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMIGATE_HOST_TOOLS=ON >/dev/null
cmake --build "$build" --target zip_bench >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
ours=$("$build/bench/zip_bench" "$work")
echo "$ours"
best=""
for run in 1 2 3; do
    rm -f "$work/zip.zip"
    start=$(date +%s.%N)
    (cd "$work" && zip -q -6 zip.zip bugreport.txt screenShot.png)
    ms=$(echo "($(date +%s.%N) - $start) * 1000" | bc)
    if [ -z "$best" ] || [ "$(echo "$ms < $best" | bc)" = 1 ]; then best=$ms; fi
done
bytes=$(stat -c %s "$work/zip.zip")
printf '%-12s %8.1f ms %9d bytes\n' "zip -6" "$best" "$bytes"
read -r _ ourMs _ ourBytes _ <<<"$ours"
printf 'ours / zip -6: time %.2f, bytes %.3f\n' "$(echo "$ourMs / $best" | bc -l)" "$(echo "$ourBytes / $bytes" | bc -l)"
unzip -tq "$work/ours.zip"
