#!/usr/bin/env bash
# Runs the benchmarks under Wine, with a display of their own for the list views: the resolver's
# (build64/bin/resolvebench.exe, against the real spooler in the test prefix) and the registered-ID
# list's (build64/bin/zrbench.exe). Build first (scripts/test.sh builds both).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
. "$root/scripts/wine-env.sh"
. "$root/scripts/display.sh"
start_display
trap stop_display EXIT
export WINEPREFIX=${ZR_BUILD_DIR64:-$root/build64}/wineprefix
start_wine
echo "== ReadJobAccountID"
"$root/scripts/wine-run.sh" "${ZR_BUILD_DIR64:-$root/build64}/bin/resolvebench.exe"
echo "== registered-ID list"
"$root/scripts/wine-run.sh" "${ZR_BUILD_DIR64:-$root/build64}/bin/zrbench.exe"
