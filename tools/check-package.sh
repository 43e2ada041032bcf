#!/usr/bin/env bash
# Checks a built quillmoor .deb without installing it: lists what it holds,
# runs lintian (errors fail), validates the desktop files it ships and runs
# the packaged quillmoor-cli from an extracted copy.
#   check-package.sh PACKAGE.deb
set -euo pipefail
deb=${1:?usage: check-package.sh PACKAGE.deb}
here=$(cd "$(dirname "$0")/.." && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }

echo "== $(basename "$deb"): $(du -k "$deb" | cut -f1) KiB"
dpkg-deb --info "$deb"
echo "== contents"
dpkg-deb --contents "$deb"

echo "== lintian"
# Warnings are listed and explained in the README; an error fails.
lintian --fail-on error --display-info --allow-root "$deb"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch"

echo "== files"
for path in usr/bin/quillmoor usr/bin/quillmoor-cli \
            usr/share/man/man1/quillmoor.1.gz usr/share/man/man1/quillmoor-cli.1.gz \
            usr/share/doc/quillmoor/copyright usr/share/doc/quillmoor/changelog.gz \
            usr/share/icons/hicolor/scalable/apps/quillmoor.svg; do
    [ -f "$scratch/$path" ] || fail "not in the package: /$path"
done
for side in 16 32 48 64 128 256; do
    [ -f "$scratch/usr/share/icons/hicolor/${side}x${side}/apps/quillmoor.png" ] ||
        fail "no ${side}x${side} icon"
done
for program in quillmoor quillmoor-cli; do
    file -b "$scratch/usr/bin/$program" | grep -q ', stripped' || fail "$program is not stripped"
done
"$here/packaging/validate-desktop-files.sh" --require "$scratch/usr/share"

echo "== packaged quillmoor-cli --version"
version=$(dpkg-deb --field "$deb" Version)
out=$("$scratch/usr/bin/quillmoor-cli" --version)
echo "$out"
case "$out" in *"$version"*) ;; *) fail "--version says '$out', the package is $version" ;; esac
dpkg-deb --field "$deb" Depends | grep -q libqt6widgets6 || fail "Depends lacks the Qt libraries"
echo "package check: passed"
