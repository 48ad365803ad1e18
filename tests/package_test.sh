#!/usr/bin/env bash
# package_test.sh <source dir> <x64 build dir> <package> <32-bit bin dir> <wixl> <msibuild>
# Installs the Windows Installer package as a fleet's deployment does, into a fresh 64-bit prefix of
# its own: builds an older version of the same package for the upgrade, puts both beside the
# administrator's files in C:\zrpackage, and runs package_test.exe there.
set -euo pipefail
src=$1 build=$2 package=$3 bin32=$4 wixl=$5 msibuild=$6
. "$src/scripts/wine-env.sh"
export WINEPREFIX=$build/packageprefix
if [ -d "$WINEPREFIX" ]; then
    WINEDEBUG=-all /usr/lib/wine/wineserver64 -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
fi
make_prefix "$WINEPREFIX" win64
trap 'WINEDEBUG=-all /usr/lib/wine/wineserver64 -k 2>/dev/null || true' EXIT
kit=$WINEPREFIX/drive_c/zrpackage
mkdir -p "$kit"
cp "$package" "$kit/current.msi"
cmake -DWIXL="$wixl" -DMSIBUILD="$msibuild" -DSOURCE_DIR="$src" -DBIN64="$build/bin" -DBIN32="$bin32" \
      -DVERSION=0.9.0 -DOUTPUT="$kit/older.msi" -DSTAGE="$build/msi-stage-older" -P "$src/cmake/make_msi.cmake" >/dev/null
"$src/scripts/wine-run.sh" "$build/bin/package_test.exe"
