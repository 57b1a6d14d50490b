#!/bin/bash
# The long fuzzing run: every fuzz target under libFuzzer for SECONDS (600 by default), two
# at a time, printing each target's executions, executions per second and coverage. A
# finding fails the run and leaves its input in build/fuzz-artifacts, to be kept in the
# target's corpus under regressions/ once it is fixed.
#
#   bench/fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
exec bash "$(dirname "${BASH_SOURCE[0]}")/../scripts/fuzz.sh" "${1:-600}" "${@:2}"
