#!/usr/bin/env bash
# Sets up everything on a fresh Debian machine, then runs every test under Wine and Xvfb: the 32-bit
# build's in its 32-bit prefix, then the x64 build's in its 64-bit prefix. Where this machine cannot
# start 32-bit programs, the 32-bit tests run in a small virtual machine instead (scripts/guest32.sh).
# Other arguments go to ctest (e.g. -R resolve_test). Ends with ctest's summary and, when run without
# arguments (as CI runs it), a short run of every fuzz target (scripts/fuzz.sh, ZR_FUZZ_SECONDS
# seconds each, default 5; 0 leaves them out).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZR_BUILD_DIR:-$root/build}
build64=${ZR_BUILD_DIR64:-$root/build64}
"$root/scripts/setup.sh"
. "$root/scripts/wine-env.sh"
. "$root/scripts/guest32.sh"

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

plain_run=$([ $# -eq 0 ] && echo 1 || true)

status=0
if zr_wine32_runs; then
    run_width "$build" "32-bit" "$@" || status=1
else
    echo "== 32-bit tests, in a virtual machine: this machine cannot start 32-bit programs, so they run"
    echo "   in a Debian guest emulated by qemu-system-x86_64 (no KVM), from the cached disk in $guest_cache"
    { guest_make_disk && guest_run_ctest "$build" "$@"; } || status=1
fi
run_width "$build64" "x64" "$@" || status=1

fuzz_seconds=${ZR_FUZZ_SECONDS:-5}
if [ -n "$plain_run" ] && [ "$fuzz_seconds" != 0 ]; then
    "$root/scripts/fuzz.sh" "$fuzz_seconds" || status=1
fi
exit $status
