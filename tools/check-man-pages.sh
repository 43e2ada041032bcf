#!/usr/bin/env bash
# Checks manual pages: groff renders each without a warning, each has the
# sections a reader looks for, in this order, and SEE ALSO names the peers
# and every other page given. Usage: check-man-pages.sh PAGE...
set -uo pipefail
command -v groff >/dev/null || { echo "groff is not installed"; exit 77; }

required=(NAME SYNOPSIS DESCRIPTION OPTIONS "EXIT STATUS" ENVIRONMENT FILES EXAMPLES CAVEATS
          "SEE ALSO")
peers=(age gpg shred 'openssl\-enc')
status=0
fail() { echo "$page: $*"; status=1; }

for page in "$@"; do
    warnings=$(groff -Tutf8 -man -ww -z "$page" 2>&1)
    [ -z "$warnings" ] || fail "groff: $warnings"
    mapfile -t sections < <(sed -n 's/^\.SH "\{0,1\}\([^"]*\)"\{0,1\}$/\1/p' "$page")
    last=-1
    for want in "${required[@]}"; do
        at=-1
        for i in "${!sections[@]}"; do [ "${sections[$i]}" = "$want" ] && at=$i; done
        if [ "$at" -lt 0 ]; then fail "no $want section"
        elif [ "$at" -lt "$last" ]; then fail "$want comes too early"
        else last=$at; fi
    done
    see_also=$(sed -n '/^\.SH SEE ALSO/,/^\.SH [^S]/p' "$page")
    others=()
    for other in "$@"; do
        [ "$other" = "$page" ] || others+=("$(basename "$other" .1 | sed 's/-/\\-/g')")
    done
    for ref in "${peers[@]}" "${others[@]}"; do
        grep -qF ".BR $ref (1)" <<<"$see_also" || fail "SEE ALSO does not name $ref(1)"
    done
done
exit $status
