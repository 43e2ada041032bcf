#!/usr/bin/env bash
# Runs the README's first command-line steps that need no terminal (the new
# key file and the encryption with it) in a scratch home, and checks what the
# README says of them. The other steps ask on a terminal; the CLI's pty tests
# cover those. Usage: check-readme-commands.sh README quillmoor-cli
set -euo pipefail
readme=$1 cli=$2
fail() { echo "README: $*"; exit 1; }

mapfile -t steps < <(sed -n '/^## First steps/,/^## What/s/^    \(quillmoor-cli .*\)$/\1/p' "$readme" |
                     sed 's/ *#.*$//')
[ ${#steps[@]} -ge 5 ] || fail "the first command-line steps are not where they were"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
export HOME=$scratch
printf 'first file\n' >a.txt
printf 'second file\n' >b.txt

ran=0
for step in "${steps[@]}"; do
    case $step in *keygen* | *--key-file*) ;; *) continue ;; esac
    # The step as typed, with the program under test and the shell's ~ and *.
    eval "\"\$cli\"${step#quillmoor-cli}" </dev/null || fail "'$step' failed"
    ran=$((ran + 1))
done
[ "$ran" -eq 2 ] || fail "expected the keygen and --key-file steps, ran $ran"

[ "$(stat -c %a .quillmoor-key)" = 600 ] || fail "the key file is not of mode 0600"
for f in a.txt b.txt; do
    [ -s "$f.BF" ] || fail "'encrypt --key-file ~/.quillmoor-key *.txt' wrote no $f.BF"
    "$cli" decrypt --key-file .quillmoor-key -o - "$f.BF" | cmp -s - "$f" ||
        fail "$f.BF does not decrypt to $f"
done
echo "the README's keygen and --key-file steps do what it says"
