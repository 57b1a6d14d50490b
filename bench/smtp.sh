#!/bin/bash
# Benchmark of the SMTP channel (bench/smtp_bench.cpp under Wine) against Python's smtplib:
# the same mail, a 5 MB attachment in Base64, to the test mail server (aiosmtpd) on 127.0.0.1,
# plain and over TLS from the start; the best of three runs each, and ours as a ratio of
# smtplib's. Never fails on time. Needs the Windows build (scripts/test).
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
exe="$BUILD/win/bench/smtp_bench.exe"
[ -x "$exe" ] || { echo "build first: scripts/test"; exit 1; }
work="$(mktemp -d)"
server=""
trap '[ -n "$server" ] && kill $server 2>/dev/null; rm -rf "$work"; stop_wineserver' EXIT
here="$REPO/crash/delivery/testing"
(cd "$work" && bash "$here/make_certificates.sh")
mkdir "$work/results"
/usr/bin/python3 "$here/smtp_server.py" --results "$work/results" --port-file "$work/ports" \
    --tls "$work/server.pem" "$work/server.key" --self-signed "$work/self.pem" "$work/self.key" \
    </dev/null >"$work/server.out" 2>&1 &
server=$!
for i in $(seq 1 100); do [ -s "$work/ports" ] && break; sleep 0.05; done
read -r plain _ implicit _ <"$work/ports"
head -c $((5 * 1024 * 1024)) /dev/urandom >"$work/shot.bin"
ensure_prefix

ours="$(wine "$exe" "$(winepath -w "$work/shot.bin")" "$plain" "$implicit" | tr -d '\r')"
theirs="$(/usr/bin/python3 - "$work/shot.bin" "$plain" "$implicit" <<'PY'
import smtplib, ssl, sys, time
from email.message import EmailMessage
path, plain, implicit = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
data = open(path, "rb").read()
def mail():
    m = EmailMessage()
    m["From"], m["To"], m["Subject"] = "bench@maker.example", "bugs@maker.example", "Bench"
    m.set_content("A mail with an attachment.")
    m.add_attachment(data, maintype="application", subtype="octet-stream", filename="screenShot.bmp")
    return m
context = ssl.create_default_context()
context.check_hostname, context.verify_mode = False, ssl.CERT_NONE
for name, connect in (("plain", lambda: smtplib.SMTP("127.0.0.1", plain)),
                      ("tls", lambda: smtplib.SMTP_SSL("127.0.0.1", implicit, context=context))):
    best = 1e30
    for run in range(3):
        start = time.perf_counter()
        with connect() as s:
            s.send_message(mail())
        best = min(best, (time.perf_counter() - start) * 1000)
    print(f"{name} {best:.1f}")
PY
)"
printf '%-8s %12s %12s %8s\n' mode ours-ms smtplib-ms ratio
for mode in plain tls; do
    o=$(sed -n "s/^$mode //p" <<<"$ours")
    t=$(sed -n "s/^$mode //p" <<<"$theirs")
    printf '%-8s %12s %12s %8.2f\n' "$mode" "$o" "$t" "$(echo "$o / $t" | bc -l)"
done
