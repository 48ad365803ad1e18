#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ natively (clang, libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer) into build-fuzz/ and runs each one for the given number of seconds
# (default 10), starting from its seeds in fuzz/corpus/<target>/ and from what earlier runs found
# (build-fuzz/corpus/<target>/). Fails when any target crashes, reports an error or breaks a
# property; the input that did it is left in build-fuzz/artifacts/ (rerun it with
# `build-fuzz/<target> <file>`). Installs clang and libFuzzer when they are missing. An input that
# runs longer than ZR_FUZZ_TIMEOUT seconds (default 10) fails the run; raise it for a run niced
# below other work, whose inputs can wait that long for the processor.
# Usage: scripts/fuzz.sh [seconds per target] [target...]
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${ZR_FUZZ_BUILD_DIR:-$root/build-fuzz}
seconds=${1:-10}
[ $# -gt 0 ] && shift
. "$root/scripts/packages.sh"
install_missing_packages clang-14 libclang-rt-14-dev cmake

echo "== building the fuzz targets in $build"
cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++-14 >/dev/null
cmake --build "$build" -j2 >/dev/null

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for source in "$root"/fuzz/*_fuzzer.cpp; do
        targets+=("$(basename "$source" .cpp)")
    done
fi

status=0
mkdir -p "$build/artifacts"
echo "== running each fuzz target for $seconds s"
for target in "${targets[@]}"; do
    mkdir -p "$build/corpus/$target"
    log=$build/$target.log
    if nice -n "${ZR_FUZZ_NICE:-10}" "$build/$target" -max_total_time="$seconds" -timeout="${ZR_FUZZ_TIMEOUT:-10}" -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
        "$build/corpus/$target" "$root/fuzz/corpus/$target" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        printf '%-24s passed: %s executions\n' "$target" "${runs:-?}"
    else
        printf '%-24s FAILED (log: %s)\n' "$target" "$log"
        grep -m5 -E 'ERROR|property broken|runtime error|platform call|Test unit written' "$log" || tail -20 "$log"
        status=1
    fi
done
exit $status
