#!/usr/bin/env bash
# Runs the registered-ID list benchmark (build64/bin/zrbench.exe) under Wine, with a display of its
# own for the list views. Build first (scripts/test.sh or scripts/setup.sh builds it).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/wine-env.sh"
. "$root/scripts/display.sh"
start_display
trap stop_display EXIT
export WINEPREFIX=${ZR_BUILD_DIR64:-$root/build64}/wineprefix
start_wine
"$root/scripts/wine-run.sh" "${ZR_BUILD_DIR64:-$root/build64}/bin/zrbench.exe"
