#!/bin/bash
# Benchmark of the upload channel (bench/upload_bench.cpp under Wine) against curl: the same
# form, a 10 MB report and a 2 MB screenshot, posted to the test web server (upload_server.py,
# which parses every post) on 127.0.0.1, plain and over TLS; the best of three runs each, and
# ours as a ratio of curl's. Never fails on time. Needs the Windows build (scripts/test).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
exe="$BUILD/win/bench/upload_bench.exe"
[ -x "$exe" ] || { echo "build first: scripts/test"; exit 1; }
work="$(mktemp -d)"
server=""
trap '[ -n "$server" ] && kill $server 2>/dev/null; rm -rf "$work"; stop_wineserver' EXIT
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
here="$REPO/crash/delivery/testing"
(cd "$work" && bash "$here/make_certificates.sh")
mkdir "$work/results"
/usr/bin/python3 "$here/upload_server.py" --results "$work/results" --ports-file "$work/ports" \
    --tls "$work/server.pem" "$work/server.key" --self-signed "$work/self.pem" "$work/self.key" \
    </dev/null >"$work/server.out" 2>&1 &
server=$!
for i in $(seq 1 100); do [ -s "$work/ports" ] && break; sleep 0.05; done
read -r plain tls _ <"$work/ports"
head -c 8000000 /dev/urandom | base64 -w 76 >"$work/bugreport.txt"
truncate -s $((10 * 1024 * 1024)) "$work/bugreport.txt"
head -c $((2 * 1024 * 1024)) /dev/urandom >"$work/screenShot.png"
ensure_prefix

ours="$(wine "$exe" "$(winepath -w "$work/bugreport.txt")" "$(winepath -w "$work/screenShot.png")" \
    "$plain" "$tls" | tr -d '\r')"
curl_best() { # URL: the best of three posts of the same form, in ms
    local best="" t
    for run in 1 2 3; do
        t=$(curl -sk -o /dev/null -w '%{time_total}' -F subject=Bench \
            -F "bugreport=@$work/bugreport.txt;filename=bugreport.txt" \
            -F "screenshot=@$work/screenShot.png;filename=screenShot.png" "$1")
        t=$(echo "$t * 1000" | bc -l)
        if [ -z "$best" ] || [ "$(echo "$t < $best" | bc -l)" = 1 ]; then best=$t; fi
    done
    printf '%.1f' "$best"
}
printf '%-8s %12s %12s %8s\n' mode ours-ms curl-ms ratio
for mode in plain tls; do
    o=$(sed -n "s/^$mode //p" <<<"$ours")
    if [ "$mode" = plain ]; then t=$(curl_best "http://localhost:$plain/upload/bench.php")
    else t=$(curl_best "https://localhost:$tls/upload/bench.php"); fi
    printf '%-8s %12s %12s %8.2f\n' "$mode" "$o" "$t" "$(echo "$o / $t" | bc -l)"
done
