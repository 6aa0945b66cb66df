#!/usr/bin/env bash
# Builds the fuzz targets with clang into build-fuzz and runs each (or those named after the time) for
# the given seconds (default 60),
# starting from the seeds in tests/fuzz/corpus. What the runs find grows in build-fuzz/corpus, a
# failing input lands in build-fuzz/artifacts; any crash, leak, timeout or broken invariant fails.
# The targets change directory, so every path given to them is absolute.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=${1:-60}
shift || true
targets=("$@")
[ $# -gt 0 ] || targets=(keys undo calc files)
root=$PWD
build=$root/build-fuzz

cmake -S tests/fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build"

declare -A maxLength=([keys]=4096 [undo]=4096 [calc]=256 [files]=8192)
# Key streams and edit runs find most when long: no slow growth of the input length for them.
declare -A lengthControl=([keys]=0 [undo]=0 [calc]=100 [files]=100)
failed=()
for target in "${targets[@]}"; do
    mkdir -p "$build/corpus/$target" "$build/artifacts"
    log=$build/$target.log
    if "$build/${target}_fuzz" -max_total_time="$seconds" -timeout=30 -max_len="${maxLength[$target]}" \
        -len_control="${lengthControl[$target]}" \
        -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
        "$build/corpus/$target" "$root/tests/fuzz/corpus/$target" >"$log" 2>&1; then
        runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
        echo "$target: $runs executions in ${seconds} s, no crash"
    else
        echo "$target: FAILED, see $log"
        grep -a -E 'INVARIANT BROKEN|ERROR:|SUMMARY|Test unit written' "$log" | head -5 || true
        failed+=("$target")
    fi
done
[ ${#failed[@]} -eq 0 ]
