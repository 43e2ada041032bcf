#!/usr/bin/env bash
# Several files at once, in /dev/shm (the disk left out): for each set of
# FILES files of MiB each, quillmoor-cli encrypt with the default jobs against
# one quillmoor-cli process per file, one after another (one chain at a time),
# and decrypt with the default jobs against -j1. The sides alternate and the
# order flips every run, so a change in machine load hits both alike; each
# run's ratio is taken, and the median of the ratios reported, with the CPU
# time of each side and the load average before and after: on a machine busy
# with other work the wall-clock ratio means little, while CPU seconds over
# wall seconds show how many cores the run actually got. Every encrypted file
# is checked against the one the one-process-per-file side wrote. Not part of
# CTest.
# Usage: bench/jobs.sh [BUILD_DIR] [RUNS] [FILESxMiB...]   (default: 5 runs, 8x32 64x4)
set -euo pipefail
build=${1:-build}
runs=${2:-5}
shift $(($# < 2 ? $# : 2))
sets=("$@")
((${#sets[@]})) || sets=(8x32 64x4)
cli="$build/bin/quillmoor-cli"
[ -x "$cli" ] || { echo "build first: $cli is missing" >&2; exit 1; }
((runs >= 3)) || { echo "use at least 3 runs" >&2; exit 1; }

work=$(mktemp -d /dev/shm/quillmoor-jobs-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
export QM_BENCH_KEY=0123456789abcdeff0e1d2c3b4a59687
# shellcheck source=bench/timing.sh
source "$(dirname "$0")/timing.sh"

wall_and_cpu() { # "wall cpu" seconds of the command (cpu: user and system)
    local TIMEFORMAT='%R %U %S' line
    line=$({ time "$@" >/dev/null; } 2>&1)
    awk '{ print $1, $2 + $3 }' <<<"$line"
}
# Targets are replaced every run: say so where the tool asks for it.
force=()
"$cli" --help 2>&1 | grep -q -- '--force' && force=(--force)
cli_run() { # operation, options and files
    local op=$1
    shift
    "$cli" "$op" "${force[@]}" --quiet --key-env QM_BENCH_KEY "$@"
}
one_per_file() { # operation, files...: one process per file
    local op=$1 f
    shift
    for f in "$@"; do cli_run "$op" "$f"; done
}
declare -A wall cpu ratios
side() { # key, command...: one timed run, its figures kept under key
    local key=$1 t
    shift
    t=$(wall_and_cpu "$@")
    wall[$key]+=" ${t% *}" cpu[$key]+=" ${t#* }"
    last=${t% *}
}
report() { # label, key of the reference side, key of the default side
    # shellcheck disable=SC2086 # the lists are space-separated on purpose
    printf '%s: %.3f s (%.3f s CPU)  default jobs %.3f s (%.3f s CPU)  speed-up %.2fx\n' "$1" \
        "$(median ${wall[$2]})" "$(median ${cpu[$2]})" \
        "$(median ${wall[$3]})" "$(median ${cpu[$3]})" "$(median ${ratios[$3]})"
}

printf '%s CPUs, median of %s alternating runs\n' "$(nproc)" "$runs"
for set in "${sets[@]}"; do
    files=${set%x*} mib=${set#*x}
    rm -rf "$work/set" && mkdir -p "$work/set/reference"
    plain=() sealed=()
    for ((i = 0; i < files; i++)); do
        head -c $((mib * 1024 * 1024)) /dev/urandom >"$work/set/f$i"
        plain+=("$work/set/f$i") sealed+=("$work/set/f$i.BF")
    done
    one_per_file encrypt "${plain[@]}"
    cp "${sealed[@]}" "$work/set/reference/"
    wall=() cpu=() ratios=()
    load_before=$(cut -d' ' -f1-3 /proc/loadavg)
    for ((r = 0; r < runs; r++)); do
        if ((r % 2 == 0)); then
            side enc-one one_per_file encrypt "${plain[@]}"; s=$last
            side enc-jobs cli_run encrypt "${plain[@]}"; d=$last
            side dec-j1 cli_run decrypt -j1 "${sealed[@]}"; s2=$last
            side dec-jobs cli_run decrypt "${sealed[@]}"; d2=$last
        else
            side enc-jobs cli_run encrypt "${plain[@]}"; d=$last
            side enc-one one_per_file encrypt "${plain[@]}"; s=$last
            side dec-jobs cli_run decrypt "${sealed[@]}"; d2=$last
            side dec-j1 cli_run decrypt -j1 "${sealed[@]}"; s2=$last
        fi
        ratios[enc-jobs]+=" $(ratio "$s" "$d")" ratios[dec-jobs]+=" $(ratio "$s2" "$d2")"
    done
    load_after=$(cut -d' ' -f1-3 /proc/loadavg)
    cli_run encrypt "${plain[@]}"
    for ((i = 0; i < files; i++)); do
        cmp -s "$work/set/f$i.BF" "$work/set/reference/f$i.BF" ||
            { echo "f$i.BF differs from the one-process-per-file run" >&2; exit 1; }
    done
    printf '%s files of %s MiB in /dev/shm (load average before %s, after %s)\n' \
        "$files" "$mib" "$load_before" "$load_after"
    report '  encrypt, one process per file' enc-one enc-jobs
    report '  decrypt, -j1' dec-j1 dec-jobs
done
