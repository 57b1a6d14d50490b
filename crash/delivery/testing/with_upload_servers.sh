#!/bin/bash
# Runs a Windows test program under Wine against the upload servers (upload_server.py) on
# 127.0.0.1, and stops them when it ends, with the tests' certificates (make_certificates.sh;
# the program trusts the tests' authority for the time of its run).
#
#   with_upload_servers.sh PROGRAM [ARGUMENTS...]
#
# The program finds: LUMIGATE_UPLOAD_PORTS ("plain tls self-signed"), LUMIGATE_UPLOAD_RESULTS
# (what the servers received) and LUMIGATE_UPLOAD_CA (the authority's certificate, DER).
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
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY

cd "$work"
bash "$here/make_certificates.sh"
mkdir results
python3 "$here/upload_server.py" --results results --ports-file ports --tls server.pem server.key \
    --self-signed self.pem self.key </dev/null >server.out 2>&1 &
server=$!
for i in $(seq 1 100); do
    [ -s ports ] && break
    sleep 0.05
done
[ -s ports ] || { echo "the upload servers did not start:"; cat server.out; exit 1; }
export LUMIGATE_UPLOAD_PORTS="$(cat ports)" LUMIGATE_UPLOAD_RESULTS="$work/results" LUMIGATE_UPLOAD_CA="$work/ca.der"
cd - >/dev/null
timeout 400 wine "$@"
