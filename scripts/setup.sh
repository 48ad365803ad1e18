#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks, builds the module, its tests and the demo, and
# makes the Wine prefix they run in. Safe to run again: each step skips what is already there.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZR_BUILD_DIR:-$root/build}
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}

packages=(g++-mingw-w64-i686 mingw-w64-i686-dev wine wine32:i386 xvfb xauth fonts-wine cmake googletest
          x11-utils)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "== installing: ${missing[*]}"
    sudo_cmd=""
    [ "$(id -u)" -ne 0 ] && sudo_cmd=sudo
    $sudo_cmd dpkg --add-architecture i386
    $sudo_cmd apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -q "${missing[@]}"
fi

echo "== building in $build"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-i686.cmake" \
      -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "== creating the Wine prefix $WINEPREFIX"
    export WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    wineboot -i >/dev/null 2>&1
    # Without a window manager every close of a top-level window otherwise stalls for 2 s.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wineserver -w
fi
