#!/usr/bin/env bash
# Wipe speed on disk: `quillmoor-cli wipe` against nine `dd` passes of 1 MiB
# blocks with an fsync each (what three passes of three sub-passes cost when
# done by hand), on the same 128 MiB file, median of alternating runs.
# Usage: bench/wipe-vs-dd.sh [BUILD_DIR] [MiB] [RUNS] [FOLDER]
set -euo pipefail
build=${1:-build}
mib=${2:-128}
runs=${3:-3}
folder=${4:-${TMPDIR:-/tmp}}
cli="$build/bin/quillmoor-cli"
[ -x "$cli" ] || { echo "build first: $cli is missing" >&2; exit 1; }

work=$(mktemp -d "$folder/quillmoor-wipe-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
file="$work/victim"

fresh() { head -c $((mib * 1024 * 1024)) /dev/zero | tr '\0' 'a' >"$file"; sync; }
seconds() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    awk -v a="$start" -v b="$end" 'BEGIN { print b - a }'
}
nine_dd() {
    for _ in 1 2 3 4 5 6 7 8 9; do
        dd if=/dev/zero of="$file" bs=1M count="$mib" conv=notrunc,fsync status=none
    done
}
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }

declare -a ours theirs
for ((i = 0; i < runs; i++)); do
    fresh
    ours+=("$(seconds "$cli" wipe --yes --quiet "$file")")
    fresh
    theirs+=("$(seconds nine_dd)")
done
q=$(median "${ours[@]}")
d=$(median "${theirs[@]}")
printf 'wipe %s MiB in %s: quillmoor %.3f s  9 x dd %.3f s  relative speed %.2fx\n' "$mib" "$folder" "$q" "$d" \
    "$(awk -v a="$d" -v b="$q" 'BEGIN { print a / b }')"
