#!/bin/bash
# Coverage-guided fuzzing of every fuzz target with libFuzzer (clang-15, AddressSanitizer and
# UndefinedBehaviorSanitizer), each for SECONDS, two at a time: the target's corpus folder
# (with its regressions) as seeds, inputs up to 4 KB. New inputs go to a scratch folder; a
# crash, leak, timeout or memory exhaustion fails the run and leaves the input in
# build/fuzz-artifacts. Prints the executions per second and the coverage of each target.
# LUMIGATE_FUZZ_SEED fixes libFuzzer's seed: the test command's short run then walks the same
# inputs every time (a run that passed here passes in CI; new findings are the long run's job).
# With LUMIGATE_FUZZ_KEEP=1 a target that passed gets its corpus in the tree minimised with
# what the run found: the smallest set of inputs that keeps all coverage, named by their hash
# (regressions/ stays as it is and is not copied).
#
#   fuzz.sh [SECONDS] [TARGET...]
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/lib.sh"
seconds="${1:-20}"
shift || true
build="$BUILD/fuzz"
artifacts="$BUILD/fuzz-artifacts"
CC=clang-15 CXX=clang++-15 cmake -S "$REPO" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DLUMIGATE_LIBFUZZER=ON >/dev/null
if ! cmake --build "$build" >"$build/build.log" 2>&1; then
    echo "the fuzz targets did not build:"
    grep -E -A8 "error|FAILED" "$build/build.log" | head -80
    exit 1
fi
mkdir -p "$artifacts"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Minimises CORPUS together with FOUND into CORPUS's own files; inputs that a regression
# already covers are not kept twice.
keep() {
    local exe="$1" corpus="$2" found="$3" merged="$work/merged-$(basename "$1")" r
    mkdir -p "$merged"
    if [ -d "$corpus/regressions" ]; then
        cp "$corpus"/regressions/* "$merged"/ 2>/dev/null || true
    fi
    "$exe" -merge=1 -max_len=4096 -timeout=10 -rss_limit_mb=2048 "$merged" "$corpus" "$found" >"$merged.log" 2>&1 || {
        tail -20 "$merged.log"
        return 1
    }
    if [ -d "$corpus/regressions" ]; then
        for r in "$corpus"/regressions/*; do
            rm -f "$merged/$(basename "$r")"
        done
    fi
    find "$corpus" -maxdepth 1 -type f -delete
    mv "$merged"/* "$corpus"/ 2>/dev/null || true
    echo "  corpus kept: $(find "$corpus" -maxdepth 1 -type f | wc -l) inputs in ${corpus#"$REPO"/}"
}

run_one() {
    local exe="$1" corpus="$2" name
    name="$(basename "$exe")"
    mkdir -p "$work/$name"
    if "$exe" -seed="${LUMIGATE_FUZZ_SEED:-0}" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$artifacts/$name-" "$work/$name" "$corpus" >"$work/$name.log" 2>&1; then
        local runs rate cov
        runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/$name.log" | grep -o '[0-9]*$' || echo 0)
        rate=$(grep -o 'exec/s: [0-9]*' "$work/$name.log" | tail -1 | grep -o '[0-9]*$' || echo 0)
        cov=$(grep -o 'cov: [0-9]*' "$work/$name.log" | tail -1 | grep -o '[0-9]*$' || echo 0)
        printf '%-28s %10s runs %8s exec/s  cov %6s\n' "$name" "$runs" "$rate" "$cov"
        if [ "${LUMIGATE_FUZZ_KEEP:-0}" = 1 ]; then
            keep "$exe" "$corpus" "$work/$name"
        fi
    else
        printf '%-28s FAILED (the input is in %s)\n' "$name" "$artifacts"
        tail -40 "$work/$name.log"
        return 1
    fi
}

targets=()
while read -r exe corpus; do
    [ -n "$exe" ] || continue
    if [ $# -gt 0 ]; then
        case " $* " in *" $(basename "$exe") "*) ;; *) continue ;; esac
    fi
    targets+=("$exe|$corpus")
done <"$build/fuzz_targets.txt"
[ ${#targets[@]} -gt 0 ] || { echo "no fuzz target to run (named: ${*:-all})"; exit 1; }

log "fuzzing ${#targets[@]} targets for $seconds s each"
status=0
pids=()
for entry in "${targets[@]}"; do
    run_one "${entry%%|*}" "${entry#*|}" &
    pids+=($!)
    if [ ${#pids[@]} -ge 2 ]; then
        wait "${pids[0]}" || status=1
        pids=("${pids[@]:1}")
    fi
done
for p in "${pids[@]}"; do
    wait "$p" || status=1
done
exit $status
