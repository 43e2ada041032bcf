#!/usr/bin/env bash
# `make windows`: the two Windows programs, built with mingw-w64 into
# build-windows/bin/ and stripped, and the two downloads in build-windows/:
#   quillmoor-VERSION-windows-x64.zip  portable: one folder quillmoor-VERSION/
#                                      with both programs, README.txt,
#                                      LICENSE.txt, THIRD-PARTY-NOTICES.txt
#   quillmoor-VERSION-x64.msi          the per-user installer (wixl, from
#                                      packaging/windows/quillmoor.wxs)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${BUILD_WINDOWS:-build-windows}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}
version=$(sed -n 's/^project(Quillmoor VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

./tools/install-deps.sh g++-mingw-w64-x86-64-posix wixl msitools

# QUILLMOOR_PACK_ONLY=1: only the two downloads, from the programs already in
# "$build/bin" (the wine test run packs its own build this way).
if [ -z "${QUILLMOOR_PACK_ONLY:-}" ]; then
    cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
        -DCMAKE_BUILD_TYPE=Release -DQUILLMOOR_GUI=OFF -DQUILLMOOR_TESTS=OFF \
        -DQUILLMOOR_BENCH=OFF --log-level=WARNING
    cmake --build "$build" -j "$jobs" --target quillmoor quillmoor-cli
    x86_64-w64-mingw32-strip "$build/bin/quillmoor.exe" "$build/bin/quillmoor-cli.exe"
fi

scratch=$(mktemp -d "${TMPDIR:-/tmp}/quillmoor-pack-XXXXXX")
trap 'rm -rf "$scratch"' EXIT
top="quillmoor-$version"
pack="$scratch/$top"
mkdir "$pack"
cp "$build/bin/quillmoor.exe" "$build/bin/quillmoor-cli.exe" "$pack/"
# Windows text files: CR LF line ends.
crlf() { sed 's/$/\r/'; }
crlf <LICENSE >"$pack/LICENSE.txt"
crlf <packaging/windows/README.txt >"$pack/README.txt"
# The runtime linked into both programs: mingw-w64's (its C runtime start-up
# code and winpthreads) and GCC's (libstdc++, libgcc), each with its licence
# text as Debian ships it.
{
    cat packaging/windows/THIRD-PARTY-NOTICES.txt
    for doc in mingw-w64-common gcc-mingw-w64-base; do
        printf '\n%s\n%s\n\n' "==== $doc (Debian's copyright file) ====" \
            "/usr/share/doc/$doc/copyright"
        cat "/usr/share/doc/$doc/copyright"
    done
    printf '\n%s\n\n' "==== GNU General Public License, version 3 (named by GCC's runtime licence) ===="
    cat /usr/share/common-licenses/GPL-3
} | crlf >"$pack/THIRD-PARTY-NOTICES.txt"

zip="$(realpath "$build")/quillmoor-$version-windows-x64.zip"
rm -f "$zip"
(cd "$scratch" && cmake -E tar cf "$zip" --format=zip "$top")

# The installer: wixl takes the files from the folder it runs in; the PATH
# entry (an Environment table, which wixl cannot write) and the two actions
# that apply it are added to the built package with msibuild.
msi="$(realpath "$build")/quillmoor-$version-x64.msi"
cp app/win32/resources/quillmoor.ico "$scratch/"
(cd "$pack" && wixl -a x64 -D Version="$version" -D SourceDir=. -D IconFile=../quillmoor.ico \
    -o "$msi" "$root/packaging/windows/quillmoor.wxs")
idt="$scratch/idt"
mkdir "$idt"
printf 'Environment\tName\tValue\tComponent_\ns72\tl255\tL255\ts72\nEnvironment\tEnvironment\n%s\n' \
    $'PathEntry\t=-Path\t[~];[INSTALLDIR]\tPath' >"$idt/Environment.idt"
msiinfo export "$msi" InstallExecuteSequence >"$idt/InstallExecuteSequence.idt"
printf 'RemoveEnvironmentStrings\t\t3300\nWriteEnvironmentStrings\t\t5200\n' \
    >>"$idt/InstallExecuteSequence.idt"
msibuild "$msi" -i "$idt/Environment.idt"
msibuild "$msi" -i "$idt/InstallExecuteSequence.idt"

ls -l "$build/bin/quillmoor.exe" "$build/bin/quillmoor-cli.exe" "$zip" "$msi"
