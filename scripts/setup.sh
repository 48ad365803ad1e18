#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks, builds the module, its tests and the demo in both
# widths (32-bit in build/, x64 in build64/), then the Windows Installer package of both widths
# (the x64 build makes it from the 32-bit build's module), and makes the Wine prefixes they run in.
# Safe to run again: each step skips what is already there.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZR_BUILD_DIR:-$root/build}
build64=${ZR_BUILD_DIR64:-$root/build64}
. "$root/scripts/wine-env.sh"
. "$root/scripts/packages.sh"

install_missing_packages "${zr_packages[@]}"

build_width() {  # <build directory> <toolchain file> [cmake settings]
    echo "== building in $1"
    cmake -S "$root" -B "$1" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$2" -DCMAKE_BUILD_TYPE=RelWithDebInfo "${@:3}" >/dev/null
    cmake --build "$1" -j"$(nproc)"
}
build_width "$build" mingw-w64-i686.cmake
build_width "$build64" mingw-w64-x86_64.cmake -DZR_MODULE32_DIR="$build/bin"

if zr_wine32_runs; then
    make_prefix "$build/wineprefix" win32
else
    echo "== this machine cannot start 32-bit programs: the 32-bit build's tests run in a virtual machine (scripts/guest32.sh)"
fi
make_prefix "$build64/wineprefix" win64
