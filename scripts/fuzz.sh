#!/usr/bin/env bash
# Runs the libFuzzer target of the repair for a bounded time (default 60 s) from the committed
# corpus, keeping new inputs and any crashing input in the build tree. Build it first with the
# fuzz preset. Fails when the fuzzer finds anything.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
work=build/fuzz/corpus
artifacts=build/fuzz/artifacts/
log=build/fuzz/last-run.log
mkdir -p "$work" "$artifacts"

status=0
./build/fuzz/bin/fuzz_repair -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$artifacts" "$work" fuzz/corpus >"$log" 2>&1 || status=$?

if [ "$status" -ne 0 ]; then
    tail -n 60 "$log"
    echo "fuzz_repair found a failing input (status $status); it is in $artifacts" >&2
    exit "$status"
fi
grep -E '^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::average_exec_per_sec)' "$log"
