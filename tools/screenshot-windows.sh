#!/usr/bin/env bash
# Takes PNGs of quillmoor.exe's main window and About window, running the
# program under wine on a virtual X server (Xvfb), on a small demonstration
# folder. There is no window manager, so the pictures show the client areas.
#
#   tools/screenshot-windows.sh [BUILD_DIR [OUT_DIR]]   defaults: build-windows docs
#
# Writes OUT_DIR/quillmoor-windows-main.png and OUT_DIR/quillmoor-windows-about.png.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-windows}
out=${2:-docs}

./tools/install-deps.sh wine wine64 xvfb xdotool imagemagick
if [ ! -f "$build/bin/quillmoor.exe" ]; then
    BUILD_WINDOWS="$build" ./tools/build-windows.sh
fi
program=$(realpath "$build/bin/quillmoor.exe")
mkdir -p "$out"
out=$(realpath "$out")

scratch=$(mktemp -d "${TMPDIR:-/tmp}/quillmoor-winshot-XXXXXX")
export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all
xvfb_pid=
stop() {
    wineserver -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap stop EXIT
. tools/private-xvfb.sh
start_private_xvfb "$scratch" 800x600x24
wineboot -i >/dev/null 2>&1

# A folder with a few files, so the lists show what a person would see.
demo="$scratch/Documents"
mkdir -p "$demo/Letters" "$demo/Photos"
printf 'Dear Ada,\n' >"$demo/letter-to-ada.txt"
printf 'budget\n' >"$demo/budget-2024.csv"
head -c 4096 /dev/urandom >"$demo/budget-2024.csv.BF"
printf 'notes\n' >"$demo/notes.md"

cd "$demo"
wine "$program" "$demo/letter-to-ada.txt" &
main=$(xdotool search --sync --onlyvisible --name '^Quillmoor$' | head -n 1)
xdotool windowfocus --sync "$main" 2>/dev/null || true
sleep 1
# A password, and its key from MD5 (the letter is selected from the command line).
xdotool type --delay 20 'correct horse'
xdotool mousemove --window "$main" 292 16 click 1
sleep 0.5
import -window "$main" "$out/quillmoor-windows-main.png"

xdotool mousemove --window "$main" 312 236 click 1
about=$(xdotool search --sync --onlyvisible --name '^Quillmoor - About$' | head -n 1)
sleep 1
import -window "$about" "$out/quillmoor-windows-about.png"
echo "Saved $out/quillmoor-windows-main.png and $out/quillmoor-windows-about.png"
