#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's prefix, with the run's display.
# ctest uses this as the cross-compiling emulator; scripts/env.sh sets the variables.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX=${WINEPREFIX:-$here/../build/wineprefix}
export WINEARCH=win32
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
exec wine "$@"
