#!/usr/bin/env bash
# quillmoor-cli.exe on a console (wine's, on a pseudo-terminal): a password
# typed at the prompt with a character outside the console's code page gives
# the key the same password gives from a UTF-8 file, and a name outside it
# shows as it is in the result line. Usage: check-windows-console.sh CLI.exe
# (with WINEPREFIX set as by make test-windows). Exit 77: no `script` here.
set -euo pipefail
cli=$1
tools=$(cd "$(dirname "$0")" && pwd)
command -v script >/dev/null || { echo "script(1) is missing"; exit 77; }

dir=$(mktemp -d "${TMPDIR:-/tmp}/quillmoor-console-XXXXXX")
trap 'rm -rf "$dir"' EXIT
chmod 777 "$dir" # wine-run.sh may run the program as another user
name=$(printf '\346\227\245\350\250\230.txt')  # 日記.txt
password=$(printf 'p\303\244sswort')              # pässwort
printf 'some data' >"$dir/$name"
printf '%s\n' "$password" >"$dir/password"
chmod 666 "$dir/$name" "$dir/password"

"$tools/wine-run.sh" "$cli" encrypt -q --password-file "$dir/password" -o "$dir/from-file.BF" \
    "$dir/$name"

# Each answer is typed once its question is on the screen.
mkfifo "$dir/keys"
script -qec "'$tools/wine-run.sh' '$cli' encrypt -o '$dir/typed.BF' '$dir/$name'" /dev/null \
    <"$dir/keys" >"$dir/screen" 2>&1 &
session=$!
exec 3>"$dir/keys"
wait_for() {
    for _ in $(seq 600); do
        grep -q "$1" "$dir/screen" && return 0
        sleep 0.1
    done
    echo "not seen on the console: $1"; cat -v "$dir/screen"; return 1
}
wait_for 'Password:'
printf '%s\r' "$password" >&3
wait_for 'Repeat the password:'
printf '%s\r' "$password" >&3
wait "$session" || true # the result is judged below
exec 3>&-

status=0
if cmp -s "$dir/from-file.BF" "$dir/typed.BF"; then
    echo "ok   a typed password outside the code page gives the file's key"
else
    echo "FAIL a typed password outside the code page gives the file's key"; status=1
fi
if grep -q "encrypted .*$name -> " "$dir/screen"; then
    echo "ok   the result line shows the name as it is"
else
    echo "FAIL the result line shows the name as it is"; status=1
fi
[ $status -eq 0 ] || cat -v "$dir/screen"
exit $status
