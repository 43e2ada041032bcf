#!/usr/bin/env bash
# Writes the seed corpora in fuzz/corpus/ again. The encrypted seeds are made
# by the program itself, so pass the built quillmoor-cli:
#   fuzz/make-seeds.sh build/bin/quillmoor-cli
set -euo pipefail
cli=$(realpath "${1:?usage: make-seeds.sh PATH-TO-quillmoor-cli}")
here=$(cd "$(dirname "$0")" && pwd)
corpus=$here/corpus
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

seed() { # seed TARGET NAME BYTES... (printf format)
    mkdir -p "$corpus/$1"
    printf "$3" >"$corpus/$1/$2"
}

# Text inputs: a byte below 0x80 is that ASCII unit; \x80 and two bytes after
# it are one UTF-16 unit, high byte first.
rm -rf "$corpus/hex_text" "$corpus/md5" "$corpus/file_decrypt"
seed hex_text empty ''
seed hex_text one-digit 'f'
seed hex_text odd-length 'abc'
seed hex_text md5-key '00112233445566778899aabbccddeeff'
seed hex_text upper-and-lower '0A1b2C3d4E5fFfAa'
seed hex_text blanks ' a\t\n1 \n\t9'
seed hex_text non-digits '&H1-2.g0zZ'
seed hex_text wide-units 'a\x80\x00\x31\x80\xff\x10\x80\xd8\x3d\x80\xde\x00f'

seed md5 empty ''
seed md5 a 'a'
seed md5 abc 'abc'
seed md5 message-digest 'message digest'
seed md5 alphabet 'abcdefghijklmnopqrstuvwxyz'
seed md5 alphanumeric 'ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789'
seed md5 eighty-digits "$(printf '1234567890%.0s' 1 2 3 4 5 6 7 8)"
seed md5 fifty-five "$(printf 'x%.0s' $(seq 55))"
seed md5 fifty-six "$(printf 'y%.0s' $(seq 56))"
seed md5 controls 'tab\there\nline \x01\x7f'
seed md5 latin1-and-wide 'caf\x80\x00\xe9 \x80\x20\xac \x80\x01\x00'
seed md5 surrogate-pair '\x80\xd8\x3d\x80\xde\x00'

# file_decrypt: flag byte (1 lenient, 2 target exists, 4 cancel, bits 3-4
# workers), key length in units, key text, then the file.
encrypted_seed() { # NAME FLAGS KEY PLAIN-LENGTH
    local name=$1 flags=$2 key=$3 length=$4
    head -c "$length" /dev/zero | tr '\0' 'Q' >"$scratch/p"
    QM_KEY=$key "$cli" encrypt --quiet --key-env QM_KEY "$scratch/p"
    mkdir -p "$corpus/file_decrypt"
    { printf "\\x$(printf %02x "$flags")\\x$(printf %02x ${#key})%s" "$key"
      cat "$scratch/p.BF"; } >"$corpus/file_decrypt/$name"
}
encrypted_seed empty-plain 0 00112233445566778899aabbccddeeff 0
encrypted_seed seven 0 00112233445566778899aabbccddeeff 7
encrypted_seed eight-lenient 1 0123456789abcdef 8
encrypted_seed nine-over-old-target 2 0123456789abcdef 9
encrypted_seed hundred-four-workers 24 abc 100
encrypted_seed cancelled 4 1 40
seed file_decrypt short-lenient '\x01\x02zz\x01\x02\x03'
seed file_decrypt not-a-multiple '\x00\x04abcdABCDEFGHIJ'
seed file_decrypt wide-key '\x00\x02\x80\x12\x34\x80\xff\xff01234567'
