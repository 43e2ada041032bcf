#!/usr/bin/env bash
# `make windows`: the two Windows programs, built with mingw-w64 into
# build-windows/bin/ and stripped, and the download: quillmoor-windows-x64.zip
# (quillmoor.exe, quillmoor-cli.exe, README.txt, LICENSE.txt) in build-windows/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_WINDOWS:-build-windows}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

./tools/install-deps.sh g++-mingw-w64-x86-64-posix

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DQUILLMOOR_GUI=OFF -DQUILLMOOR_TESTS=OFF -DQUILLMOOR_BENCH=OFF --log-level=WARNING
cmake --build "$build" -j "$jobs" --target quillmoor quillmoor-cli
x86_64-w64-mingw32-strip "$build/bin/quillmoor.exe" "$build/bin/quillmoor-cli.exe"

pack=$(mktemp -d "${TMPDIR:-/tmp}/quillmoor-pack-XXXXXX")
trap 'rm -rf "$pack"' EXIT
cp "$build/bin/quillmoor.exe" "$build/bin/quillmoor-cli.exe" "$pack/"
# Windows text files: CR LF line ends.
sed 's/$/\r/' LICENSE >"$pack/LICENSE.txt"
sed 's/$/\r/' >"$pack/README.txt" <<'TEXT'
Quillmoor for Windows (64-bit)

quillmoor.exe      the window: pick a file, type a password, press MD5, then
                   Encrypt, Decrypt or Wipe. "quillmoor.exe FILE" starts with
                   FILE selected; a file dropped on the window is selected.
quillmoor-cli.exe  the same commands from a console: quillmoor-cli --help

Each program is one file: copy it anywhere and run it. Nothing is installed,
no settings are kept. Encrypt writes NAME.BF beside NAME; Decrypt writes NAME
back from NAME.BF; Wipe overwrites a file in place (it is not deleted).

Licence: LICENSE.txt (MIT).
TEXT
zip="$(realpath "$build")/quillmoor-windows-x64.zip"
rm -f "$zip"
(cd "$pack" && cmake -E tar cf "$zip" --format=zip quillmoor.exe quillmoor-cli.exe README.txt LICENSE.txt)
ls -l "$build/bin/quillmoor.exe" "$build/bin/quillmoor-cli.exe" "$zip"
