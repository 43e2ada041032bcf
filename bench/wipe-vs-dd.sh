#!/usr/bin/env bash
# Wipe speed: `quillmoor-cli wipe` against nine `dd` passes of 1 MiB blocks
# with an fsync each (what three passes of three sub-passes cost when done by
# hand), on the same file, in each folder given: by default one on disk (the
# build folder) and /dev/shm, a medium as fast as memory, where the wipe's own
# CPU time shows. Median of alternating runs of wall, user and system time;
# then the random generator alone, if quillmoor-wipebench was built.
# Usage: bench/wipe-vs-dd.sh [BUILD_DIR] [MiB] [RUNS] [FOLDER...]
set -euo pipefail
build=${1:-build}
mib=${2:-128}
runs=${3:-5}
shift $(($# < 3 ? $# : 3))
folders=("$@")
if [ ${#folders[@]} -eq 0 ]; then
    folders=("$build")
    [ -d /dev/shm ] && folders+=(/dev/shm)
fi
cli="$build/bin/quillmoor-cli"
[ -x "$cli" ] || { echo "build first: $cli is missing" >&2; exit 1; }

work=
trap 'rm -rf "$work"' EXIT

fresh() { head -c $((mib * 1024 * 1024)) /dev/zero | tr '\0' 'a' >"$file"; sync; }
measure() { # prints "wall user sys" in seconds, children included
    local TIMEFORMAT='%R %U %S'
    { time "$@" >/dev/null 2>&1; } 2>&1
}
nine_dd() {
    for _ in 1 2 3 4 5 6 7 8 9; do
        dd if=/dev/zero of="$file" bs=1M count="$mib" conv=notrunc,fsync status=none
    done
}
# shellcheck source=bench/timing.sh
source "$(dirname "$0")/timing.sh"
column() { # column N of the lines given, then their median
    local n=$1
    shift
    # shellcheck disable=SC2046 # one number per line, split on purpose
    median $(printf '%s\n' "$@" | awk -v n="$n" '{print $n}')
}
load() { cut -d' ' -f1 /proc/loadavg 2>/dev/null || echo '?'; }

for folder in "${folders[@]}"; do
    work=$(mktemp -d "$folder/quillmoor-wipe-bench.XXXXXX")
    file="$work/victim"
    declare -a ours=() theirs=()
    before=$(load)
    for ((i = 0; i < runs; i++)); do
        fresh
        ours+=("$(measure "$cli" wipe --yes --quiet "$file")")
        fresh
        theirs+=("$(measure nine_dd)")
    done
    rm -rf "$work"
    q=$(column 1 "${ours[@]}")
    d=$(column 1 "${theirs[@]}")
    fs=$(df -PT "$folder" 2>/dev/null | awk 'NR == 2 {print $2}')
    printf 'wipe %s MiB in %s (%s), median of %s alternating runs, load %s before, %s after\n' \
        "$mib" "$folder" "${fs:-?}" "$runs" "$before" "$(load)"
    printf '  quillmoor-cli wipe    %6.3f s  user %.3f s  sys %.3f s\n' "$q" \
        "$(column 2 "${ours[@]}")" "$(column 3 "${ours[@]}")"
    printf '  9 x dd bs=1M fsync    %6.3f s  user %.3f s  sys %.3f s\n' "$d" \
        "$(column 2 "${theirs[@]}")" "$(column 3 "${theirs[@]}")"
    printf '  relative speed %.2fx\n' "$(ratio "$d" "$q")"
done

# The random generator alone, in CPU time (steady however busy the machine is).
if [ -x "$build/bin/quillmoor-wipebench" ]; then
    "$build/bin/quillmoor-wipebench" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
fi
