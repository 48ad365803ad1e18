#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's prefix, with the run's display.
# ctest uses this as the cross-compiling emulator; test.sh and demo.sh set WINEPREFIX. Run by hand,
# an x64 program gets the x64 build's prefix (build64/wineprefix) and any other the 32-bit one.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
. "$here/wine-env.sh"
if [ -z "${WINEPREFIX:-}" ]; then
    if zr_is_pe64 "${1:-}"; then WINEPREFIX=$here/../build64/wineprefix; else WINEPREFIX=$here/../build/wineprefix; fi
fi
export WINEPREFIX
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
loader=$(zr_wine_loader)
[ "$loader" = wine ] || export WINELOADER=$loader
exec "$loader" "$@"
