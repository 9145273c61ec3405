#!/usr/bin/env bash
# Runs every fuzz target for a while on its seeds and on what earlier runs
# found, prints how many inputs each tried, how fast and what coverage, and
# fails when one finds a crash, a hang, undefined behaviour or a leak (the
# failing input is kept in BUILD/fuzz-artifacts).
#
#     fuzz/run-fuzzers.sh BUILD_DIR SECONDS [TARGET...]
#     fuzz/run-fuzzers.sh BUILD_DIR --runs EXECUTIONS [TARGET...]
#
# FUZZ_JOBS (default 1) targets run at once, each on its own core.
set -uo pipefail

usage="usage: run-fuzzers.sh BUILD_DIR SECONDS|--runs EXECUTIONS [TARGET...]"
build=$(cd "${1:?$usage}" && pwd) || exit 2
if [ "${2:-}" = "--runs" ]; then
    limit=-runs="${3:?$usage}"
    shift 3
else
    limit=-max_total_time="${2:?$usage}"
    shift 2
fi
[ $# -gt 0 ] || set -- ini map character replay sound tmx tiled_json map_source
here=$(cd "$(dirname "$0")" && pwd)
# Leaks inside system libraries, each with its reason, are not findings.
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$here/../tests/robustness/lsan.supp:print_suppressions=0}
mkdir -p "$build/fuzz-artifacts"

# Prints one line on how the target did; fails when it found something.
fuzz_one() {
    local target=$1 log="$build/fuzz-artifacts/$1.log" start=$SECONDS status elapsed executions
    # New finds go to the build folder; the seeds in the repository stay as
    # they are. A slow input is a hang: no single load may take seconds.
    mkdir -p "$build/fuzz-corpus/$target"
    "$build/fuzz/kcs_fuzz_$target" "$limit" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/fuzz-artifacts/$target-" \
        "$build/fuzz-corpus/$target" "$here/corpus/$target" >"$log" 2>&1
    status=$?
    elapsed=$(( SECONDS - start ))
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    if [ "$status" -ne 0 ]; then
        echo "kcs_fuzz_$target: FAILED (status $status) after ${executions:-?} executions; log:"
        tail -n 40 "$log"
        return 1
    fi
    echo "kcs_fuzz_$target: ${executions:-?} executions in $elapsed s" \
         "($(( ${executions:-0} / (elapsed > 0 ? elapsed : 1) )) per second)," \
         "coverage $(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | cut -d' ' -f2) edges, no crash"
}

for target in "$@"; do
    while [ "$(jobs -rp | wc -l)" -ge "${FUZZ_JOBS:-1}" ]; do
        wait -n
    done
    fuzz_one "$target" >"$build/fuzz-artifacts/$target.result" &
done
wait
failed=0
for target in "$@"; do
    cat "$build/fuzz-artifacts/$target.result"
    grep -q "^kcs_fuzz_$target: FAILED" "$build/fuzz-artifacts/$target.result" && failed=$((failed + 1))
done
echo "fuzz: $(($# - failed)) passed, $failed failed"
[ "$failed" -eq 0 ]
