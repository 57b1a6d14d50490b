#!/bin/bash
# Runs a test program against the SMTP test servers (smtp_server.py) on 127.0.0.1 and stops
# them when it ends. The program finds LUMIGATE_SMTP_PORT (the plain server) and
# LUMIGATE_SMTP_RESULTS. A Windows program (an .exe, run under Wine) gets the servers with TLS
# and the DNS stand-in too, with the tests' certificates (make_certificates.sh): their ports in
# LUMIGATE_SMTP_PORTS ("plain starttls implicit self-signed dns") and the authority to trust
# in LUMIGATE_SMTP_CA; it loads the mapi32.dll beside it instead of Wine's.
#
#   with_smtp_server.sh PROGRAM [ARGUMENTS...]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d)"
server=""
cleanup() {
    [ -n "$server" ] && kill "$server" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir "$work/results"
tls=()
run=("$@")
if [[ "$1" == *.exe ]]; then
    (cd "$work" && bash "$here/make_certificates.sh")
    tls=(--tls "$work/server.pem" "$work/server.key" --self-signed "$work/self.pem" "$work/self.key")
    run=(timeout 400 wine "$@")
    # The mail client stand-in beside the test, not Wine's own mapi32.
    export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}mapi32=n"
    export LUMIGATE_SMTP_CA="$work/ca.der"
fi
# Debian's Python, which has aiosmtpd.
/usr/bin/python3 "$here/smtp_server.py" --results "$work/results" --port-file "$work/port" "${tls[@]}" \
    </dev/null >"$work/server.out" 2>&1 &
server=$!
for i in $(seq 1 100); do
    [ -s "$work/port" ] && break
    sleep 0.05
done
[ -s "$work/port" ] || { echo "the SMTP server did not start:"; cat "$work/server.out"; exit 1; }
ports="$(cat "$work/port")"
export LUMIGATE_SMTP_PORTS="$ports" LUMIGATE_SMTP_PORT="${ports%% *}" LUMIGATE_SMTP_RESULTS="$work/results"
status=0
"${run[@]}" || status=$?
[ $status -eq 0 ] || { echo "== the SMTP servers' output:"; cat "$work/server.out"; }
exit $status
