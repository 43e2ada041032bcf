#!/usr/bin/env bash
# End-to-end speed of the file routines against `openssl enc -bf-cbc` on the
# same 256 MiB random file in /dev/shm (so the disk is left out), median of
# alternating runs, then the block transform micro-benchmark.
# Usage: bench/run.sh [BUILD_DIR] [MiB] [RUNS]
set -euo pipefail
build=${1:-build}
mib=${2:-256}
runs=${3:-3}
bench="$build/bin/quillmoor-filebench"
[ -x "$bench" ] || { echo "build first: $bench is missing" >&2; exit 1; }

work=$(mktemp -d /dev/shm/quillmoor-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
key=0123456789abcdeff0e1d2c3b4a59687
iv=${key:0:16}
ssl=(openssl enc -bf-cbc -provider legacy -provider default -K "$key" -iv "$iv")
head -c $((mib * 1024 * 1024)) /dev/urandom >"$work/plain"
"${ssl[@]}" -in "$work/plain" -out "$work/ssl.BF"

# shellcheck source=bench/timing.sh
source "$(dirname "$0")/timing.sh"

declare -a oe od se sd pe
for ((i = 0; i < runs; i++)); do
    oe+=("$(seconds "$bench" encrypt "$key" "$work/plain" "$work/ours.BF")")
    pe+=("$(seconds "$bench" encrypt "$key" "$work/plain" "$work/ours.BF" --progress)")
    se+=("$(seconds "${ssl[@]}" -in "$work/plain" -out "$work/ssl2.BF")")
    od+=("$(seconds "$bench" decrypt "$key" "$work/ssl.BF" "$work/ours.out")")
    sd+=("$(seconds "${ssl[@]}" -d -in "$work/ssl.BF" -out "$work/ssl.out")")
done
cmp -s "$work/ours.BF" "$work/ssl.BF" || { echo "encrypted files differ from openssl's" >&2; exit 1; }
cmp -s "$work/ours.out" "$work/plain" || { echo "decrypted file differs" >&2; exit 1; }

peak=$("$bench" encrypt "$key" "$work/plain" "$work/ours.BF" | sed -n 's/.*peak RSS \([0-9]*\) KiB.*/\1/p')
m() { median "$@"; }
printf '%s MiB, median of %s runs\n' "$mib" "$runs"
printf 'encrypt: quillmoor %.3f s  openssl %.3f s  speed-up %.2fx\n' "$(m "${oe[@]}")" "$(m "${se[@]}")" \
    "$(ratio "$(m "${se[@]}")" "$(m "${oe[@]}")")"
printf 'decrypt: quillmoor %.3f s  openssl %.3f s  speed-up %.2fx\n' "$(m "${od[@]}")" "$(m "${sd[@]}")" \
    "$(ratio "$(m "${sd[@]}")" "$(m "${od[@]}")")"
printf 'progress reports: encrypt %.3f s with, %.3f s without\n' "$(m "${pe[@]}")" "$(m "${oe[@]}")"
printf 'peak memory of an encryption: %s KiB (getrusage ru_maxrss)\n' "$peak"

# Peak memory of the command-line tool itself, for each operation.
cli="$build/bin/quillmoor-cli"
if [ -x "$cli" ] && command -v python3 >/dev/null; then
    export QM_BENCH_KEY=$key
    for op in "encrypt $work/plain" "decrypt $work/plain.BF" "wipe --yes $work/plain"; do
        # shellcheck disable=SC2086 # the command word and its FILE, split on purpose
        python3 - "$cli" $op <<'PY'
import resource, subprocess, sys
args = [sys.argv[1], sys.argv[2]] + (["--force", "--key-env", "QM_BENCH_KEY"] if sys.argv[2] != "wipe" else []) + ["--quiet"] + sys.argv[3:]
subprocess.run(args, check=True)
print(f"quillmoor-cli {sys.argv[2]}: peak RSS {resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss} KiB")
PY
    done
fi

if [ -x "$build/bin/quillmoor-blockbench" ]; then
    "$build/bin/quillmoor-blockbench" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true
fi
