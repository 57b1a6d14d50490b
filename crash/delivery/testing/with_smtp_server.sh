#!/bin/bash
# Runs a test program against the SMTP test server (smtp_server.py) on 127.0.0.1 and stops the
# server when it ends. The program finds LUMIGATE_SMTP_PORT and LUMIGATE_SMTP_RESULTS.
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
# Debian's Python, which has aiosmtpd.
/usr/bin/python3 "$here/smtp_server.py" --results "$work/results" --port-file "$work/port" </dev/null \
    >"$work/server.out" 2>&1 &
server=$!
for i in $(seq 1 100); do
    [ -s "$work/port" ] && break
    sleep 0.05
done
[ -s "$work/port" ] || { echo "the SMTP server did not start:"; cat "$work/server.out"; exit 1; }
export LUMIGATE_SMTP_PORT="$(cat "$work/port")" LUMIGATE_SMTP_RESULTS="$work/results"
"$@"
