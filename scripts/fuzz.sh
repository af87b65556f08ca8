#!/usr/bin/env bash
# Runs each libFuzzer target for its share of a bounded time (default 60 s in all) from its
# committed corpus, keeping new inputs and any crashing input in the build tree. Build them first
# with the fuzz preset. Fails when a fuzzer finds anything.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
targets=(repair:corpus full_repair:corpus_full)
share=$(( (seconds + ${#targets[@]} - 1) / ${#targets[@]} ))

for target in "${targets[@]}"; do
    name=${target%%:*}
    seeds=fuzz/${target#*:}
    work=build/fuzz/$name/corpus
    artifacts=build/fuzz/$name/artifacts/
    log=build/fuzz/$name/last-run.log
    mkdir -p "$work" "$artifacts"

    status=0
    "./build/fuzz/bin/fuzz_$name" -max_total_time="$share" -print_final_stats=1 \
        -artifact_prefix="$artifacts" "$work" "$seeds" >"$log" 2>&1 || status=$?

    if [ "$status" -ne 0 ]; then
        tail -n 60 "$log"
        echo "fuzz_$name found a failing input (status $status); it is in $artifacts" >&2
        exit "$status"
    fi
    echo "fuzz_$name, $share s:"
    grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::average_exec_per_sec)' "$log"
done
