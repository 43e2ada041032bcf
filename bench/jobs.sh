#!/usr/bin/env bash
# Several files at once: quillmoor-cli encrypt and decrypt of FILES files of
# MiB each in /dev/shm (the disk left out), with the default jobs (one per
# core) against -j1. The two alternate and the order flips every run, so a
# change in machine load hits both alike; each run's ratio is taken, and the
# median of the ratios reported, with the load average before and after (the
# figure means little on a machine busy with other work). Not part of CTest.
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

seconds() { # wall seconds of the command
    local start=$EPOCHREALTIME
    "$@" >/dev/null
    awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { print b - a }'
}
median() { printf '%s\n' "$@" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { print a / b }'; }

run() { # operation, jobs option (empty: default), files...
    local op=$1 jobs=$2
    shift 2
    seconds "$cli" "$op" --quiet --key-env QM_BENCH_KEY ${jobs:+"$jobs"} "$@"
}

# The reference bytes: -j1 must give what jobs give.
run encrypt -j1 "${plain[@]}" >/dev/null
mkdir "$work/serial"
cp "${sealed[@]}" "$work/serial/"

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
declare -a enc_ratio dec_ratio enc_default enc_serial dec_default dec_serial
for ((r = 0; r < runs; r++)); do
    if ((r % 2 == 0)); then
        s=$(run encrypt -j1 "${plain[@]}"); d=$(run encrypt "" "${plain[@]}")
    else
        d=$(run encrypt "" "${plain[@]}"); s=$(run encrypt -j1 "${plain[@]}")
    fi
    enc_serial+=("$s") enc_default+=("$d") enc_ratio+=("$(ratio "$s" "$d")")
    if ((r % 2 == 0)); then
        s=$(run decrypt -j1 "${sealed[@]}"); d=$(run decrypt "" "${sealed[@]}")
    else
        d=$(run decrypt "" "${sealed[@]}"); s=$(run decrypt -j1 "${sealed[@]}")
    fi
    dec_serial+=("$s") dec_default+=("$d") dec_ratio+=("$(ratio "$s" "$d")")
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

for ((i = 0; i < files; i++)); do
    cmp -s "$work/f$i.BF" "$work/serial/f$i.BF" || { echo "f$i.BF differs from the -j1 run" >&2; exit 1; }
done

printf '%s files of %s MiB in /dev/shm, %s CPUs, median of %s runs (default jobs vs -j1)\n' \
    "$files" "$mib" "$(nproc)" "$runs"
printf 'encrypt: -j1 %.3f s  default %.3f s  speed-up %.2fx\n' "$(median "${enc_serial[@]}")" \
    "$(median "${enc_default[@]}")" "$(median "${enc_ratio[@]}")"
printf 'decrypt: -j1 %.3f s  default %.3f s  speed-up %.2fx\n' "$(median "${dec_serial[@]}")" \
    "$(median "${dec_default[@]}")" "$(median "${dec_ratio[@]}")"
printf 'load average before %s, after %s\n' "$load_before" "$load_after"
