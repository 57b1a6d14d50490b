#!/bin/bash
# Benchmark: a 256 MB download from the project's test server on 127.0.0.1 with
# THTTPGet::GetFile (its wait, and a busy wait loop for comparison), a plain WinInet loop
# with 64 KB reads, and curl. Prints MB/s, the ratio to curl and the main thread's CPU
# seconds during the wait. Never fails on time. Needs the Windows build (scripts/test).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
size=$((256 * 1024 * 1024))
exe="$BUILD/win/bench/http_get_bench.exe"
[ -x "$exe" ] || { echo "build first: scripts/test"; exit 1; }
work="$(mktemp -d)"
python3 "$REPO/tests/servers/http_test_server.py" --port-file "$work/port" </dev/null >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null; rm -rf "$work"; stop_wineserver' EXIT
for i in $(seq 1 100); do [ -s "$work/port" ] && break; sleep 0.05; done
port="$(cat "$work/port")"
ensure_prefix
url="http://bench.test/len/$size"
target="$(winepath -w "$work/out.bin")"

start=$(date +%s.%N)
curl -s -o "$work/curl.bin" -x "http://127.0.0.1:$port" "$url"
curl_s=$(echo "$(date +%s.%N) - $start" | bc)

printf '%-10s %10s %8s %10s %14s\n' method seconds MB/s vs-curl main-cpu-s
printf '%-10s %10.2f %8.1f %10s %14s\n' curl "$curl_s" "$(echo "256 / $curl_s" | bc -l)" 1.00 -
for mode in getfile spin wininet; do
    read -r _ bytes secs cpu < <(http_proxy="http://127.0.0.1:$port" wine "$exe" "$mode" "$url" "$target" | tr -d "\r")
    [ "$bytes" = "$size" ] || echo "($mode received $bytes bytes)"
    printf '%-10s %10.2f %8.1f %10.2f %14.2f\n' "$mode" "$secs" "$(echo "256 / $secs" | bc -l)" \
        "$(echo "$curl_s / $secs" | bc -l)" "$cpu"
done
