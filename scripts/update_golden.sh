#!/bin/bash
# Rewrites the golden files (the HTML parser's item lists in controls/html/golden, the
# disassembly listings in crash/core/x86/golden) from the current code, after a deliberate
# change; review the result with `git diff`.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
cmake -S "$REPO" -B "$BUILD/host" -G Ninja >/dev/null
cmake --build "$BUILD/host" --target html_core_test crash_x86_test >/dev/null
LUMIGATE_UPDATE_GOLDEN=1 "$BUILD/host/controls/html/html_core_test" --gtest_filter='HTMLParser.GoldenCases'
LUMIGATE_UPDATE_GOLDEN=1 "$BUILD/host/crash/core/x86/crash_x86_test" --gtest_filter='X86Listing.*'
git -C "$REPO" status --short controls/html/golden crash/core/x86/golden
