#!/bin/bash
# Rewrites the golden files of the HTML parser (controls/html/golden/*.txt) from the current
# code, after a deliberate change; review the result with `git diff`.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cmake -S "$REPO" -B "$BUILD/host" -G Ninja >/dev/null
cmake --build "$BUILD/host" --target html_core_test >/dev/null
LUMIGATE_UPDATE_GOLDEN=1 "$BUILD/host/controls/html/html_core_test" --gtest_filter='HTMLParser.GoldenCases'
git -C "$REPO" status --short controls/html/golden
