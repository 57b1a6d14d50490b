#!/bin/bash
# Runs a Windows test program under Wine against servers this script starts on 127.0.0.1
# and stops again when it ends:
#   - the project's HTTP test server, which is also the HTTP proxy of WinInet;
#   - nginx from Debian serving a static file (also reached as the proxy, since nginx
#     answers absolute request URIs from its own root);
#   - a port where nothing listens, for the tests of a missing server.
#
#   with_servers.sh [--run SERVER FILTER]... [--skip FILTER] -- PROGRAM [ARGUMENTS...]
#
# Each --run runs the program once with the tests that the GoogleTest FILTER selects,
# against SERVER (test-server, nginx or closed). --skip names tests that this invocation
# leaves to another one. A test that no --run and no --skip names fails the whole run, so a
# new suite cannot be left out unnoticed. Arguments after the program are passed on to it.
set -euo pipefail
runs=()
covered=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
    case "$1" in
    --run) runs+=("$2" "$3"); covered+=("$3"); shift 3 ;;
    --skip) covered+=("$2"); shift 2 ;;
    *) echo "with_servers.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
[ "${1:-}" = "--" ] && shift
exe="$1"
shift
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d)"
pids=()
cleanup() {
    local p
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY

free_port() {
    python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'
}

wait_for_file() {
    local i
    for i in $(seq 1 100); do
        [ -s "$1" ] && return 0
        sleep 0.05
    done
    echo "server did not start: $1" >&2
    return 1
}

mkdir -p "$work/files" "$work/www"
# nginx's worker processes run as an unprivileged user and must read the files.
chmod 755 "$work" "$work/www"
python3 "$here/http_test_server.py" --port-file "$work/port" --log "$work/requests.log" --files "$work/files" \
    </dev/null >"$work/server.out" 2>&1 &
pids+=($!)

head -c 300000 /dev/urandom >"$work/www/static.bin"
chmod 644 "$work/www/static.bin"
nginx_port="$(free_port)"
cat >"$work/nginx.conf" <<CONF
daemon off;
pid $work/nginx.pid;
error_log $work/nginx-error.log;
events {}
http {
    access_log $work/nginx-access.log;
    client_body_temp_path $work/body;
    proxy_temp_path $work/proxy;
    fastcgi_temp_path $work/fastcgi;
    uwsgi_temp_path $work/uwsgi;
    scgi_temp_path $work/scgi;
    server {
        listen 127.0.0.1:$nginx_port;
        root $work/www;
    }
}
CONF
nginx -c "$work/nginx.conf" -p "$work" </dev/null >"$work/nginx.out" 2>&1 &
pids+=($!)

wait_for_file "$work/port"
for i in $(seq 1 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$nginx_port") 2>/dev/null && break
    sleep 0.05
done
closed_port="$(free_port)"

export LUMIGATE_TEST_LOG="$work/requests.log"
export LUMIGATE_TEST_STATIC="$work/www/static.bin"
export LUMIGATE_TEST_FILES="$work/files"

# Every test must be routed: the tests that none of the filters selects are an error.
unrouted="$(IFS=:; wine "$exe" "$@" --gtest_list_tests --gtest_filter="-${covered[*]}" | grep '^  ' || true)"
if [ -n "$unrouted" ]; then
    echo "tests that no --run or --skip of with_servers.sh names:" >&2
    echo "$unrouted" >&2
    exit 1
fi

# Each run is bounded, so that a hung program fails its run instead of the whole test.
status=0
for ((i = 0; i < ${#runs[@]}; i += 2)); do
    case "${runs[i]}" in
    test-server) proxy="http://127.0.0.1:$(cat "$work/port")" limit=400 ;;
    nginx) proxy="http://127.0.0.1:$nginx_port" limit=100 ;;
    closed) proxy="http://127.0.0.1:$closed_port" limit=100 ;;
    *) echo "with_servers.sh: unknown server ${runs[i]}" >&2; exit 2 ;;
    esac
    http_proxy="$proxy" timeout "$limit" wine "$exe" "$@" --gtest_filter="${runs[i + 1]}" || status=1
done
exit $status
