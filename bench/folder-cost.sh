#!/usr/bin/env bash
# What one file costs in a crowded folder: `quillmoor-cli encrypt` over the
# same COUNT small files in a folder of COUNT entries and in one of ENTRIES,
# median of RUNS each. The clean-up of leftovers looks only at the target's
# own temporary names, so both times should be alike.
# Usage: bench/folder-cost.sh [BUILD_DIR] [COUNT] [ENTRIES] [RUNS]
set -euo pipefail
build=${1:-build}
count=${2:-500}
entries=${3:-20000}
runs=${4:-3}
cli="$build/bin/quillmoor-cli"
[ -x "$cli" ] || { echo "build first: $cli is missing" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/quillmoor-folder-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
export QM_KEY=0123456789abcdeff0e1d2c3b4a59687
mkdir "$work/small" "$work/crowded"
for ((i = 0; i < count; i++)); do
    echo "file $i" >"$work/small/f$i"
    echo "file $i" >"$work/crowded/f$i"
done
(cd "$work/crowded" && for ((i = count; i < entries; i++)); do : >"other$i"; done)

# shellcheck source=bench/timing.sh
source "$(dirname "$0")/timing.sh"
files() { for ((i = 0; i < count; i++)); do echo "$1/f$i"; done; }

declare -a small crowded
for ((r = 0; r < runs; r++)); do
    mapfile -t list < <(files "$work/small")
    small+=("$(seconds "$cli" encrypt --force --quiet --key-env QM_KEY "${list[@]}")")
    mapfile -t list < <(files "$work/crowded")
    crowded+=("$(seconds "$cli" encrypt --force --quiet --key-env QM_KEY "${list[@]}")")
done
printf 'encrypt %d files, folder of %d entries: %ss (median of %d)\n' \
    "$count" "$count" "$(median "${small[@]}")" "$runs"
printf 'encrypt %d files, folder of %d entries: %ss (median of %d)\n' \
    "$count" "$entries" "$(median "${crowded[@]}")" "$runs"
