#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Runs the libFuzzer targets for a bounded time in all (default 60 s, shared equally between
# them), each from its committed corpus, keeping new inputs and any crashing input in the build
# tree. Build them first with the fuzz preset. Fails when a fuzzer finds anything.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
# target:committed corpus
targets=(fuzz_repair:fuzz/corpus/repair fuzz_utf8_repair:fuzz/corpus/utf8_repair
    fuzz_full_repair:fuzz/corpus/full_repair)
each=$((seconds / ${#targets[@]}))
[ "$each" -ge 1 ] || each=1

for entry in "${targets[@]}"; do
    target=${entry%%:*}
    seeds=${entry#*:}
    work=build/fuzz/corpus/$target
    artifacts=build/fuzz/artifacts/$target/
    log=build/fuzz/$target.log
    mkdir -p "$work" "$artifacts"

    status=0
    "./build/fuzz/bin/$target" -max_total_time="$each" -print_final_stats=1 \
        -artifact_prefix="$artifacts" "$work" "$seeds" >"$log" 2>&1 || status=$?

    if [ "$status" -ne 0 ]; then
        tail -n 60 "$log"
        echo "$target found a failing input (status $status); it is in $artifacts" >&2
        exit "$status"
    fi
    echo "$target, $each s:"
    grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::average_exec_per_sec)' "$log"
done
