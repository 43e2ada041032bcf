#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ (clang) and runs each for a while.
#
#   tools/fuzz.sh [SECONDS]        every target for SECONDS (default 300); new
#                                  inputs are kept in fuzz/corpus-run/ (ignored
#                                  by git) and grow from run to run
#   tools/fuzz.sh --ci [SECONDS]   every target for SECONDS (default 60) on a
#                                  scratch copy of its committed seed corpus,
#                                  so the checkout is never changed
#
# Any finding (crash, leak, sanitizer report, broken property, timeout)
# stops the run with a failure; the input that caused it is kept in
# build-fuzz/findings/. The executions each target reached are printed.
set -euo pipefail
cd "$(dirname "$0")/.."

ci=0
if [ "${1:-}" = "--ci" ]; then
    ci=1
    shift
fi
seconds=${1:-$([ $ci = 1 ] && echo 60 || echo 300)}
build=${FUZZ_BUILD:-build-fuzz}
targets=(hex_text file_decrypt md5)

scratch=$(mktemp -d)
# The file target's working folder, in memory where possible.
QUILLMOOR_FUZZ_SCRATCH=$(mktemp -d -p /dev/shm quillmoor-fuzz-XXXXXX 2>/dev/null || mktemp -d)
export QUILLMOOR_FUZZ_SCRATCH
trap 'rm -rf "$scratch" "$QUILLMOOR_FUZZ_SCRATCH"' EXIT
if ! { cmake -S fuzz -B "$build" -DCMAKE_CXX_COMPILER=clang++ &&
       cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)"; } >"$scratch/build.log" 2>&1; then
    cat "$scratch/build.log" >&2
    echo "fuzz: the build failed" >&2
    exit 1
fi

findings=$build/findings
mkdir -p "$findings"

summary=()
for target in "${targets[@]}"; do
    if [ $ci = 1 ]; then
        corpus=$scratch/$target
        mkdir -p "$corpus"
    else
        corpus=fuzz/corpus-run/$target
        mkdir -p "$corpus"
    fi
    cp -n fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
    log=$scratch/$target.log
    echo "fuzz: $target for ${seconds}s"
    status=0
    "$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$findings/$target-" "$corpus" \
        >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    if [ $status -ne 0 ]; then
        tail -n 60 "$log" >&2
        echo "fuzz: $target FAILED after ${runs:-?} executions; the input is in $findings/" >&2
        exit 1
    fi
    summary+=("$target: ${runs:-?} executions in ${seconds}s, no finding")
done
printf 'fuzz: %s\n' "${summary[@]}"
