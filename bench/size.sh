#!/bin/bash
# The size of the shipped program as it is built: lumigate.exe stripped, with its debug
# container, forms and images among its resources; the file and its largest sections. Needs
# the Windows build (scripts/test). Never fails on size.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../scripts/lib.sh"
exe="$BUILD/win/app/lumigate.exe"
[ -e "$exe" ] || { echo "build first: scripts/test"; exit 1; }
bytes=$(stat -c %s "$exe")
echo "lumigate.exe: $bytes bytes, $(awk -v b="$bytes" 'BEGIN { printf "%.2f", b / 1048576 }') MB" \
    "($(awk -v b="$bytes" 'BEGIN { printf "%.2f", b / (2.5 * 1048576) }') of the 2.5 MB goal)"
i686-w64-mingw32-objdump -h "$exe" | awk 'NF >= 7 && $1 ~ /^[0-9]+$/ { print $2, $3 }' |
    while read -r section size; do printf "  %-9s %9d bytes\n" "$section" $((16#$size)); done
