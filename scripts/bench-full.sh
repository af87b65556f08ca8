#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Measures orvik-repair --full: what it restores on each damage mode of the corpus that
# bench/full_corpus.py makes (2 MiB each; the default mode scored too, for comparison), then its
# speed, whole process, on 50 MiB (ORVIK_BENCH_FULL_MIB to change) of text damaged once and of
# sound text, each run writing a new file, against `dd bs=256K` copying the same file, with both
# site scans; then its peak memory on 2 GiB through a pipe. Installs what it needs on Debian and
# builds its own optimised copy of the tool.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh

orvik_install_packages cmake g++ make hyperfine time python3

mib=${ORVIK_BENCH_FULL_MIB:-50}
runs=${ORVIK_BENCH_FULL_RUNS:-20}
work=$(mktemp -d "${TMPDIR:-/tmp}/orvik-bench-full.XXXXXX")
trap 'rm -rf "$work"' EXIT

step() { printf '\n== %s ==\n' "$*"; }

step "build orvik-repair (the release-cli preset: optimised as the release one)"
cmake --preset release-cli >/dev/null
cmake --build --preset release-cli -j "$(orvik_jobs)" >/dev/null
tool=$PWD/build/release-cli/bin/orvik-repair

step "restored share of each damage mode (2 MiB each)"
python3 bench/full_corpus.py make "$work/small" 2
for mode in once twice nbsp latin1 half clean; do
    "$tool" --full "$work/small/$mode.txt" >"$work/small/$mode.out"
    python3 bench/full_corpus.py score "$work/small" "$mode" "$work/small/$mode.out"
done
echo "without --full:"
"$tool" "$work/small/once.txt" >"$work/small/once.table"
python3 bench/full_corpus.py score "$work/small" once "$work/small/once.table"

step "speed on $mib MiB, whole process, each command writing a new file"
python3 bench/full_corpus.py make "$work/big" "$mib" once clean
cd "$work/big"
for text in once clean; do
    hyperfine -N --warmup 3 --runs "$runs" --prepare "rm -f out.txt" --export-json "$text.json" \
        -n dd "sh -c 'dd if=$text.txt of=out.txt bs=256K 2>/dev/null'" \
        -n full "sh -c '$tool --full $text.txt > out.txt'" \
        -n full-memchr "sh -c 'ORVIK_FULL_SCAN=Memchr $tool --full $text.txt > out.txt'" \
        | grep -E '^Benchmark|Time'
    python3 - "$text.json" "$(stat -c %s "$text.txt")" <<'EOF'
import json, sys
results = {r["command"]: r for r in json.load(open(sys.argv[1]))["results"]}
size = int(sys.argv[2]) / 1048576
for name, r in results.items():
    cpu = (r["user"] + r["system"]) * 1000
    print(f"  {name:12} wall {r['mean'] * 1000:6.1f} ms (median {r['median'] * 1000:6.1f})"
          f"  user+sys {cpu:6.1f} ms  {size / r['mean']:6.0f} MiB/s")
dd = results["dd"]
for name in ("full", "full-memchr"):
    r = results[name]
    print(f"  {name} throughput / dd's: wall {dd['mean'] / r['mean']:.2f} "
          f"(median {dd['median'] / r['median']:.2f}), "
          f"user+sys {(dd['user'] + dd['system']) / (r['user'] + r['system']):.2f}")
EOF
done
echo "(goals: at least 0.3 of dd on damaged text, 0.5 on sound text)"

step "peak memory, 2 GiB of damaged text through a pipe"
copies=$(((2048 + mib - 1) / mib))
peak=$(for _ in $(seq "$copies"); do cat once.txt; done \
    | /usr/bin/time -f %M "$tool" --full 2>&1 >/dev/null | tail -n 1)
echo "orvik-repair --full, $copies x once.txt by pipe: $peak KiB maximum resident set size"
