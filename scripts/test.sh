#!/usr/bin/env bash
# Sets up everything on a fresh Debian machine, then runs every test under Wine and Xvfb.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZR_BUILD_DIR:-$root/build}
export WINEPREFIX=${WINEPREFIX:-$build/wineprefix}
"$root/scripts/setup.sh"

. "$root/scripts/display.sh"
start_display
trap stop_display EXIT
cd "$build"
ctest --output-on-failure --timeout 300 "$@"
