# shellcheck shell=bash
# Timing helpers shared by the bench scripts (sourced, not run).

seconds() { # wall seconds of the command, its output dropped
    local start=$EPOCHREALTIME
    "$@" >/dev/null
    awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { print b - a }'
}

median() { printf '%s\n' "$@" | sort -g | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { print a / b }'; }
