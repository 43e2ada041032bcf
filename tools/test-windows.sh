#!/usr/bin/env bash
# `make test-windows`: builds the core, its tests, the command-line tool and
# the window for 64-bit Windows with mingw-w64 and runs the tests under wine,
# in a wine prefix made for this run and removed afterwards, with a virtual X
# display for the window's tests; then packs the two downloads and tries the
# installer in the same prefix (tools/test-windows-installer.sh). Installs the
# cross compiler, wine, Xvfb and msitools first if they are missing (only this
# target needs them).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_WIN:-build-win}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

./tools/install-deps.sh g++-mingw-w64-x86-64-posix wine wine64 xvfb wixl msitools

cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DCMAKE_BUILD_TYPE=Release \
    -DQUILLMOOR_GUI=OFF -DQUILLMOOR_BENCH=OFF -DQUILLMOOR_WERROR=ON --log-level=WARNING
cmake --build "$build" -j "$jobs"

scratch=$(mktemp -d "${TMPDIR:-/tmp}/quillmoor-winetest-XXXXXX")
chmod 755 "$scratch"
export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all
# The same user as tools/wine-run.sh, which runs each test program.
as_user=()
if [ "$(id -u)" -eq 0 ] && id nobody >/dev/null 2>&1; then
    as_user=(runuser -u nobody --)
    install -d -o nobody -g "$(id -gn nobody)" "$WINEPREFIX"
fi
xvfb_pid=
stop() {
    "${as_user[@]}" env WINEPREFIX="$WINEPREFIX" wineserver -k 2>/dev/null || true
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null
    rm -rf "$scratch"
}
trap stop EXIT

# Wine draws windows only on an X display: a private one, open to the user
# the tests run as (it listens on no network and lives as long as this run).
. tools/private-xvfb.sh
start_private_xvfb "$scratch" 1024x768x24 -ac

# Set the prefix up once, before test programs start in it side by side.
"${as_user[@]}" env WINEPREFIX="$WINEPREFIX" HOME="$scratch" wineboot -i >/dev/null 2>&1
# The case of a file past 2 GiB (a minute under wine, for code that is the
# same on both systems) runs natively only.
(cd "$build" && QUILLMOOR_QUICK=1 ctest --output-on-failure -j "$jobs")

# The two downloads made from this build, and the installer tried in the same
# prefix: install, files, shortcuts, file type, PATH, installed-apps entry,
# the association as the shell sees it, uninstall leaving nothing.
version=$(sed -n 's/^project(Quillmoor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
BUILD_WINDOWS="$build" QUILLMOOR_PACK_ONLY=1 ./tools/build-windows.sh >/dev/null
"${as_user[@]}" env WINEPREFIX="$WINEPREFIX" HOME="$scratch" WINEDEBUG=-all \
    ./tools/test-windows-installer.sh "$build/quillmoor-$version-x64.msi" "$version" \
    "$build/bin/quillmoor_window_probe.exe"
