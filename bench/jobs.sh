#!/usr/bin/env bash
# Several files at once: quillmoor-cli encrypt and decrypt of FILES files of
# MiB each in /dev/shm (the disk left out), with the default jobs (one per
# core) against -j1. The two alternate and the order flips every run, so a
# change in machine load hits both alike; each run's ratio is taken, and the
# median of the ratios reported, with the CPU time of each run and the load
# average before and after: on a machine busy with other work the wall-clock
# ratio means little, while CPU seconds over wall seconds show how many cores
# the run actually got. Not part of CTest.
# Usage: bench/jobs.sh [BUILD_DIR] [FILES] [MiB] [RUNS]
set -euo pipefail
build=${1:-build}
files=${2:-8}
mib=${3:-32}
runs=${4:-3}
cli="$build/bin/quillmoor-cli"
[ -x "$cli" ] || { echo "build first: $cli is missing" >&2; exit 1; }
((runs >= 3)) || { echo "use at least 3 runs" >&2; exit 1; }

work=$(mktemp -d /dev/shm/quillmoor-jobs-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
export QM_BENCH_KEY=0123456789abcdeff0e1d2c3b4a59687
plain=() sealed=()
for ((i = 0; i < files; i++)); do
    head -c $((mib * 1024 * 1024)) /dev/urandom >"$work/f$i"
    plain+=("$work/f$i")
    sealed+=("$work/f$i.BF")
done

wall_and_cpu() { # "wall cpu" seconds of the command (cpu: user and system)
    local TIMEFORMAT='%R %U %S' line
    line=$({ time "$@" >/dev/null; } 2>&1)
    awk '{ print $1, $2 + $3 }' <<<"$line"
}
# shellcheck source=bench/timing.sh
source "$(dirname "$0")/timing.sh"

run() { # operation, jobs option (empty: default), files...
    local op=$1 jobs=$2
    shift 2
    wall_and_cpu "$cli" "$op" --force --quiet --key-env QM_BENCH_KEY ${jobs:+"$jobs"} "$@"
}

# The reference bytes: -j1 must give what jobs give.
run encrypt -j1 "${plain[@]}" >/dev/null
mkdir "$work/serial"
cp "${sealed[@]}" "$work/serial/"

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
declare -A wall cpu ratios
pair() { # operation, files...: one -j1 run and one default run, in alternating order
    local op=$1 s d
    shift
    if ((r % 2 == 0)); then
        s=$(run "$op" -j1 "$@"); d=$(run "$op" "" "$@")
    else
        d=$(run "$op" "" "$@"); s=$(run "$op" -j1 "$@")
    fi
    wall[$op-serial]+=" ${s% *}" cpu[$op-serial]+=" ${s#* }"
    wall[$op-default]+=" ${d% *}" cpu[$op-default]+=" ${d#* }"
    ratios[$op]+=" $(ratio "${s% *}" "${d% *}")"
}
for ((r = 0; r < runs; r++)); do
    pair encrypt "${plain[@]}"
    pair decrypt "${sealed[@]}"
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

for ((i = 0; i < files; i++)); do
    cmp -s "$work/f$i.BF" "$work/serial/f$i.BF" || { echo "f$i.BF differs from the -j1 run" >&2; exit 1; }
done

printf '%s files of %s MiB in /dev/shm, %s CPUs, median of %s runs (default jobs vs -j1)\n' \
    "$files" "$mib" "$(nproc)" "$runs"
for op in encrypt decrypt; do
    # shellcheck disable=SC2086 # the lists are space-separated on purpose
    printf '%s: -j1 %.3f s (%.3f s CPU)  default %.3f s (%.3f s CPU)  speed-up %.2fx\n' "$op" \
        "$(median ${wall[$op-serial]})" "$(median ${cpu[$op-serial]})" \
        "$(median ${wall[$op-default]})" "$(median ${cpu[$op-default]})" "$(median ${ratios[$op]})"
done
printf 'load average before %s, after %s\n' "$load_before" "$load_after"
