#!/usr/bin/env bash
# Runs a Windows program of the cross build under wine: ctest's emulator for
# build-win, and what `make test-windows` uses. Usage: wine-run.sh PROGRAM.exe [ARGS...]
#
# As root it runs the program as the unprivileged user "nobody": wine as root
# writes straight through read-only files, which Windows refuses and the
# tests check. The programs of PROGRAM's folder are copied to a place that user
# can read. WINEPREFIX may be given (make test-windows shares one between
# runs); otherwise a private one is made and removed afterwards.
set -euo pipefail

program=$(realpath "$1")
shift
export WINEDEBUG=${WINEDEBUG:--all}

scratch=$(mktemp -d "${TMPDIR:-/tmp}/quillmoor-wine-XXXXXX")
own_prefix=0
if [ -z "${WINEPREFIX:-}" ]; then
    export WINEPREFIX="$scratch/prefix"
    own_prefix=1
fi
cleanup() {
    if [ $own_prefix -eq 1 ]; then
        "${as_user[@]}" env WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true
    fi
    rm -rf "$scratch"
}
trap cleanup EXIT

as_user=()
run_dir=$(dirname "$program")
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
    as_user=(runuser -u nobody --)
    cp "$run_dir"/*.exe "$scratch"/
    chmod 755 "$scratch"
    chmod 644 "$scratch"/*.exe
    run_dir=$scratch
    # wine insists that the prefix belongs to the user that runs it.
    if [ ! -e "$WINEPREFIX" ]; then
        install -d -o nobody -g "$(id -gn nobody)" "$WINEPREFIX"
    fi
    export HOME="$scratch"
fi

cd "$run_dir"
"${as_user[@]}" env WINEPREFIX="$WINEPREFIX" wine "$run_dir/$(basename "$program")" "$@"
