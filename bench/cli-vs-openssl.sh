#!/usr/bin/env bash
# quillmoor-cli encrypt/decrypt against `openssl enc -bf-cbc` on the same
# random file in /dev/shm (so the disk is left out): whole programs, start-up,
# key handling and file replacement included. Runs alternate between the two
# programs, and the order flips every run, so drift in machine load hits both
# alike. Prints the median of each and the ratios. Not part of CTest.
# Usage: bench/cli-vs-openssl.sh [BUILD_DIR] [MiB] [RUNS]
set -euo pipefail
build=${1:-build}
mib=${2:-256}
runs=${3:-5}
cli="$build/bin/quillmoor-cli"
[ -x "$cli" ] || { echo "build first: $cli is missing" >&2; exit 1; }
command -v openssl >/dev/null || { echo "openssl is missing (tools/install-deps.sh)" >&2; exit 1; }
((runs >= 3)) || { echo "use at least 3 runs" >&2; exit 1; }

work=$(mktemp -d /dev/shm/quillmoor-cli-bench.XXXXXX)
trap 'rm -rf "$work"' EXIT
key=$(openssl rand -hex 16)
export QM_BENCH_KEY=$key
ssl=(openssl enc -bf-cbc -provider legacy -provider default -K "$key" -iv "${key:0:16}")

head -c $((mib * 1024 * 1024)) /dev/urandom >"$work/plain"
"${ssl[@]}" -in "$work/plain" -out "$work/sealed.BF" # decrypt input for both

# shellcheck source=bench/timing.sh
source "$(dirname "$0")/timing.sh"

cli_enc() { seconds "$cli" encrypt --force --quiet --key-env QM_BENCH_KEY "$work/plain"; }
ssl_enc() { seconds "${ssl[@]}" -in "$work/plain" -out "$work/ssl.BF"; }
cli_dec() { seconds "$cli" decrypt --force --quiet --key-env QM_BENCH_KEY "$work/sealed.BF"; }
ssl_dec() { seconds "${ssl[@]}" -d -in "$work/sealed.BF" -out "$work/ssl.out"; }

declare -a ce se cd sd
for ((i = 0; i < runs; i++)); do
    if ((i % 2 == 0)); then
        ce+=("$(cli_enc)"); se+=("$(ssl_enc)"); cd+=("$(cli_dec)"); sd+=("$(ssl_dec)")
    else
        se+=("$(ssl_enc)"); ce+=("$(cli_enc)"); sd+=("$(ssl_dec)"); cd+=("$(cli_dec)")
    fi
done
# Speed means nothing if the outputs are wrong.
cmp -s "$work/plain.BF" "$work/ssl.BF" || { echo "quillmoor-cli's encrypted file differs from openssl's" >&2; exit 1; }
cmp -s "$work/sealed" "$work/plain" || { echo "quillmoor-cli's decrypted file differs" >&2; exit 1; }
cmp -s "$work/ssl.out" "$work/plain" || { echo "openssl's decrypted file differs" >&2; exit 1; }

report() { # name, quillmoor times..., --, openssl times...
    local name=$1 q o
    shift
    q=$(median "${@:1:runs}")
    o=$(median "${@:runs+2}")
    awk -v n="$name" -v q="$q" -v o="$o" -v mib="$mib" 'BEGIN {
        printf "%-8s quillmoor-cli %7.3f s (%6.0f MiB/s)   openssl %7.3f s (%6.0f MiB/s)   time ratio cli/openssl %.2f\n",
               n, q, mib / q, o, mib / o, q / o }'
}
printf '%s MiB in /dev/shm, median of %s alternating runs, %s CPUs\n' "$mib" "$runs" "$(nproc)"
report encrypt "${ce[@]}" -- "${se[@]}"
report decrypt "${cd[@]}" -- "${sd[@]}"
