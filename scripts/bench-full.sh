#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Measures orvik-repair --full:
# - what it restores of each damage mode of the corpus bench/full_corpus.py makes (2 MiB each; the
#   default mode scored too, for comparison);
# - the instructions it runs per byte, counted by callgrind on 8 MiB of text damaged once and of
#   sound text, French prose alone (the users' text) and the whole corpus of thirteen languages,
#   on one thread: a figure a busy machine does not change, to compare versions;
# - its speed, whole process, on 50 MiB (ORVIK_BENCH_FULL_MIB) of each, every run writing a new
#   file, against `dd bs=256K` copying the same file: medians of ORVIK_BENCH_FULL_RUNS rounds in
#   which each command runs once, in turn, so that a load that comes and goes weighs on all alike;
# - its peak memory on 2 GiB of damaged text through a pipe, and on the 50 MiB file, read on two
#   threads.
# ORVIK_BENCH_FULL_COMPARE="name=/path/to/orvik-repair ..." adds other builds to the counts and
# the rounds. Installs what it needs on Debian and builds its own optimised copy of the tool.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh

orvik_install_packages cmake g++ make python3 time valgrind

mib=${ORVIK_BENCH_FULL_MIB:-50}
runs=${ORVIK_BENCH_FULL_RUNS:-21}
work=$(mktemp -d "${TMPDIR:-/tmp}/orvik-bench-full.XXXXXX")
trap 'rm -rf "$work"' EXIT
texts=(french/once french/clean mixed/once mixed/clean)

step() { printf '\n== %s ==\n' "$*"; }

# make_corpus DIR MIB: French prose alone in DIR/french, the whole corpus in DIR/mixed.
make_corpus() {
    python3 bench/full_corpus.py make "$1/french" "$2" --french once clean
    python3 bench/full_corpus.py make "$1/mixed" "$2" once clean
}

step "build orvik-repair (the release-cli preset: optimised as the release one)"
cmake --preset release-cli >/dev/null
cmake --build --preset release-cli -j "$(orvik_jobs)" >/dev/null
tool=$PWD/build/release-cli/bin/orvik-repair
tools=("full=$tool")
for entry in ${ORVIK_BENCH_FULL_COMPARE:-}; do
    tools+=("$entry")
done

step "restored share of each damage mode (2 MiB each)"
python3 bench/full_corpus.py make "$work/small" 2
for mode in once twice nbsp nbsp2 latin1 half clean; do
    "$tool" --full "$work/small/$mode.txt" >"$work/small/$mode.out"
    python3 bench/full_corpus.py score "$work/small" "$mode" "$work/small/$mode.out"
done
echo "without --full:"
"$tool" "$work/small/once.txt" >"$work/small/once.table"
python3 bench/full_corpus.py score "$work/small" once "$work/small/once.table" | sed -n 1p

step "instructions per byte (callgrind, 8 MiB)"
make_corpus "$work/count" 8
for entry in "${tools[@]}"; do
    for text in "${texts[@]}"; do
        # Through a pipe, which is repaired on one thread: callgrind runs threads one at a time.
        cat "$work/count/$text.txt" | valgrind --tool=callgrind --callgrind-out-file=/dev/null \
            "${entry#*=}" --full 2>"$work/count/log" >/dev/null
        refs=$(grep -o 'refs: *[0-9,]*' "$work/count/log" | tr -d ', ' | cut -d: -f2)
        awk -v n="$refs" -v size="$(stat -c %s "$work/count/$text.txt")" -v name="${entry%%=*}" \
            -v text="$text" 'BEGIN { printf "  %-12s %-12s %12d instructions, %.2f a byte\n",
                name, text, n, n / size }'
    done
done

step "speed on $mib MiB, whole process, each command writing a new file ($runs rounds)"
make_corpus "$work/big" "$mib"
python3 - "$work/big" "$runs" "${texts[*]}" "${tools[@]}" <<'EOF'
import os, statistics, subprocess, sys, time

folder, runs, texts = sys.argv[1], int(sys.argv[2]), sys.argv[3].split()
tools = dict(t.split("=", 1) for t in sys.argv[4:])
out = os.path.join(folder, "out.txt")

def run(argv, stdout):
    if os.path.exists(out):
        os.remove(out)
    with open(stdout, "wb") as sink:
        start = time.perf_counter()
        child = subprocess.Popen(argv, stdout=sink, stderr=subprocess.DEVNULL)
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.perf_counter() - start
    if status != 0:
        sys.exit(f"failed: {' '.join(argv)}")
    return wall, usage.ru_utime + usage.ru_stime

for text in texts:
    source = os.path.join(folder, f"{text}.txt")
    commands = {"dd": (["dd", f"if={source}", f"of={out}", "bs=256K"], os.devnull)}
    commands.update({name: ([path, "--full", source], out) for name, path in tools.items()})
    times = {name: ([], []) for name in commands}
    for round_ in range(runs + 2):  # the first two warm the caches up
        for name, (argv, stdout) in commands.items():
            wall, cpu = run(argv, stdout)
            if round_ >= 2:
                times[name][0].append(wall)
                times[name][1].append(cpu)
    size = os.path.getsize(source) / 1048576
    dd_wall, dd_cpu = (statistics.median(v) for v in times["dd"])
    print(f"{text}:")
    for name, (walls, cpus) in times.items():
        wall, cpu = statistics.median(walls), statistics.median(cpus)
        print(f"  {name:12} wall {wall * 1000:6.1f} ms (from {min(walls) * 1000:.1f} to "
              f"{max(walls) * 1000:.1f})  user+sys {cpu * 1000:6.1f} ms  {size / wall:5.0f} MiB/s"
              + ("" if name == "dd" else
                 f"  share of dd's throughput: wall {dd_wall / wall:.2f}, user+sys {dd_cpu / cpu:.2f}"))
print("(goals: at least 0.3 of dd on damaged text, 0.5 on sound text)")
EOF

step "peak memory, 2 GiB of damaged text through a pipe"
copies=$(((2048 + mib - 1) / mib))
peak=$(for _ in $(seq "$copies"); do cat "$work/big/mixed/once.txt"; done \
    | /usr/bin/time -f %M "$tool" --full 2>&1 >/dev/null | tail -n 1)
echo "orvik-repair --full, $copies x mixed/once.txt by pipe: $peak KiB maximum resident set size"
peak=$(/usr/bin/time -f %M "$tool" --full "$work/big/mixed/once.txt" 2>&1 >/dev/null | tail -n 1)
echo "orvik-repair --full, mixed/once.txt ($mib MiB) from the file, two threads: $peak KiB"
