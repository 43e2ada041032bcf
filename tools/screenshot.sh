#!/usr/bin/env bash
# Takes PNGs of the main window and the About window, running the program
# under a virtual X server (Xvfb) on a small demonstration folder.
#
#   tools/screenshot.sh [BUILD_DIR [OUT_DIR]]     defaults: build docs
#
# Writes OUT_DIR/quillmoor-main.png and OUT_DIR/quillmoor-about.png.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=${2:-docs}

if [ -z "${SCREENSHOT_INSIDE_XVFB:-}" ]; then
    ./tools/install-deps.sh xvfb xauth xdotool imagemagick
    if [ ! -x "$build/bin/quillmoor" ]; then
        cmake -S . -B "$build" >/dev/null
        cmake --build "$build" -j "$(nproc)" --target quillmoor
    fi
    mkdir -p "$out"
    exec env SCREENSHOT_INSIDE_XVFB=1 xvfb-run -a -s "-screen 0 800x600x24" "$0" "$build" "$out"
fi

program=$(realpath "$build/bin/quillmoor")
out=$(realpath "$out")

# A folder with a few files, so the lists show what a person would see.
demo=/tmp/quillmoor-demo
rm -rf "$demo"
mkdir -p "$demo/Documents/Letters" "$demo/Documents/Photos"
printf 'Dear Ada,\n' >"$demo/Documents/letter-to-ada.txt"
printf 'budget\n' >"$demo/Documents/budget-2024.csv"
head -c 4096 /dev/urandom >"$demo/Documents/budget-2024.csv.BF"
printf 'notes\n' >"$demo/Documents/notes.md"

cd "$demo/Documents"
"$program" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; rm -rf "$demo"' EXIT

main=$(xdotool search --sync --onlyvisible --name '^Quillmoor$' | head -n 1)
xdotool windowfocus --sync "$main"
sleep 0.5
# A password, its key from MD5, and a file picked in the list.
xdotool type --delay 20 'correct horse'
xdotool mousemove --window "$main" 292 16 click 1
xdotool mousemove --window "$main" 200 72 click 1
sleep 0.5
import -window "$main" "$out/quillmoor-main.png"

xdotool mousemove --window "$main" 312 236 click 1
about=$(xdotool search --sync --onlyvisible --name '^Quillmoor - About$' | head -n 1)
sleep 0.5
import -window "$about" "$out/quillmoor-about.png"

echo "Saved $out/quillmoor-main.png and $out/quillmoor-about.png"
