#!/usr/bin/env bash
# Checks the desktop entry, the MIME definition and the AppStream metainfo
# as installed under a share/ folder: each validates with its Debian tool,
# and they agree on the type of .BF files and on how the window opens one.
#   validate-desktop-files.sh [--require] SHARE_DIR
# Without --require a missing tool skips the run (exit 77, for ctest).
set -euo pipefail

require=0
if [ "${1:-}" = --require ]; then require=1; shift; fi
share=${1:?usage: validate-desktop-files.sh [--require] SHARE_DIR}
type=application/x-quillmoor-encrypted
desktop=$share/applications/quillmoor.desktop
metainfo=$share/metainfo/org.quillmoor.quillmoor.metainfo.xml
mime=$share/mime/packages/quillmoor.xml

for tool in desktop-file-validate appstreamcli update-mime-database; do
    if ! command -v "$tool" >/dev/null; then
        [ $require -eq 1 ] && { echo "missing tool: $tool" >&2; exit 1; }
        echo "skipped: $tool is not installed"
        exit 77
    fi
done

fail() { echo "FAIL: $*" >&2; exit 1; }

# desktop-file-validate prints hints too; any output at all is a finding.
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate: $out"
grep -qx 'Exec=quillmoor %f' "$desktop" || fail "desktop entry does not pass the file (%f)"
grep -qx "MimeType=$type;" "$desktop" || fail "desktop entry does not claim $type"

appstreamcli validate --no-net --pedantic "$metainfo" || fail "appstreamcli validate"
grep -q "<mediatype>$type</mediatype>" "$metainfo" || fail "metainfo does not provide $type"
grep -q '<launchable type="desktop-id">quillmoor.desktop</launchable>' "$metainfo" ||
    fail "metainfo does not launch quillmoor.desktop"

# The definition compiles in a scratch database, and *.BF in any case maps
# to the type.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/mime/packages"
cp "$mime" "$scratch/mime/packages/"
XDG_DATA_HOME=$scratch XDG_DATA_DIRS=$scratch update-mime-database "$scratch/mime" 2>"$scratch/errors" || fail "update-mime-database: $(cat "$scratch/errors")"
[ ! -s "$scratch/errors" ] || fail "update-mime-database: $(cat "$scratch/errors")"
grep -qx "50:$type:\*\.bf" "$scratch/mime/globs2" || fail "no case-insensitive *.bf glob for $type"
! grep -q "$type:.*:cs" "$scratch/mime/globs2" || fail "a case-sensitive glob for $type"
[ -f "$scratch/mime/${type}.xml" ] || fail "$type not in the compiled database"
echo "desktop entry, MIME definition and metainfo: valid"
