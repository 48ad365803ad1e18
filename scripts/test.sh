#!/usr/bin/env bash
# Sets up everything on a fresh Debian machine, then runs every test under Wine and Xvfb: the 32-bit
# build's in its 32-bit prefix (where this machine can run 32-bit programs), then the x64 build's in
# its 64-bit prefix. Arguments go to ctest (e.g. -R resolve_test). Ends with ctest's summary and,
# when run without arguments (as CI runs it), a short run of every fuzz target (scripts/fuzz.sh,
# ZR_FUZZ_SECONDS seconds each, default 5; 0 leaves them out).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZR_BUILD_DIR:-$root/build}
build64=${ZR_BUILD_DIR64:-$root/build64}
"$root/scripts/setup.sh"
. "$root/scripts/wine-env.sh"

. "$root/scripts/display.sh"
start_display
trap stop_display EXIT

run_width() {  # <build directory> <label> [ctest arguments]
    local dir=$1 label=$2
    shift 2
    echo "== $label tests"
    export WINEPREFIX=$dir/wineprefix
    start_wine
    (cd "$dir" && ctest --output-on-failure --timeout 300 "$@")
}

status=0
if zr_wine32_runs; then
    run_width "$build" "32-bit" "$@" || status=1
else
    echo "== 32-bit tests not run: this machine cannot run 32-bit programs (its kernel lacks 32-bit support)"
fi
run_width "$build64" "x64" "$@" || status=1

fuzz_seconds=${ZR_FUZZ_SECONDS:-5}
if [ $# -eq 0 ] && [ "$fuzz_seconds" != 0 ]; then
    "$root/scripts/fuzz.sh" "$fuzz_seconds" || status=1
fi
exit $status
