#!/usr/bin/env bash
# Installs what building and testing Quillmoor needs on Debian, and nothing
# that is already there. Runs apt as root, or through sudo.
set -euo pipefail

# What `make run` and `make test` need; the other targets name their own
# extras (fuzzing, the Windows build, screenshots) as arguments.
packages=(cmake make g++ pkg-config qt6-base-dev libgl-dev libgtest-dev libgmock-dev libbenchmark-dev
          openssl groff-base)
extra=("$@")

missing=()
for p in "${packages[@]}" "${extra[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
    sudo=()
elif command -v sudo >/dev/null 2>&1; then
    sudo=(sudo)
else
    echo "install-deps: need root or sudo to install: ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
