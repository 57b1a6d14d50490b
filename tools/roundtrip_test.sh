#!/bin/bash
# The shipped settings block in text form compiles and decompiles to the same text
# (comment lines aside).
set -euo pipefail
compiler="$1"
text="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
"$compiler" compile "$text" "$work/block.bin"
"$compiler" decompile "$work/block.bin" "$work/again.txt"
diff <(grep -v '^\s*#' "$text") "$work/again.txt"
echo "round trip of $(grep -c ' = ' "$text") records: identical"
