#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# The figure of each speed path of orvik-repair --full: builds it once more without each path (in
# a copy of the source tree, src/repair/full_repair.cpp with one line of that path changed),
# checks that every build gives the same output as the full one, and hands them all to
# scripts/bench-full.sh, which counts and times them side by side with the full one
# (ORVIK_BENCH_FULL_MIB and ORVIK_BENCH_FULL_RUNS pass through).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh

orvik_install_packages cmake g++ make python3

work=$(mktemp -d "${TMPDIR:-/tmp}/orvik-bench-paths.XXXXXX")
trap 'rm -rf "$work"' EXIT

# name, a line of full_repair.cpp as it is, the same line without the path.
paths=(
    "no-run" "if (p - w >= 64)" "if (false)"
    "no-alone" "if (const unsigned taken = ReplaceAlone(p, w, written)) {" "if (unsigned taken = 0) {"
    "no-steps" "step = StepFromBytes(p, p == sequenceEnd);" "(void)0;"
    "no-quiet" "const bool previousChanged = r == 0 || m_rounds[r - 1].changed;"
    "const bool previousChanged = true;"
    "no-sse2" "for (; end - p >= 18 && p < limit; p += 16) {" "for (; false;) {"
)

git ls-files -z | xargs -0 cp --parents -t "$work" 2>/dev/null || true
cd "$work"
cp src/repair/full_repair.cpp "$work/full_repair.cpp"
build() {
    cmake --build --preset release-cli -j "$(orvik_jobs)" >"$work/build.log" 2>&1 ||
        { cat "$work/build.log" >&2; exit 1; }
    cp build/release-cli/bin/orvik-repair "$work/$1"
}
cmake --preset release-cli >/dev/null
build full
python3 bench/full_corpus.py make "$work/check" 2 once twice nbsp >/dev/null
compare=()
for ((i = 0; i < ${#paths[@]}; i += 3)); do
    name=${paths[i]}
    python3 - "$work/full_repair.cpp" src/repair/full_repair.cpp "${paths[i + 1]}" \
        "${paths[i + 2]}" <<'EOF'
import sys
source, target, old, new = sys.argv[1:]
text = open(source, encoding="utf-8").read()
if text.count(old) != 1:
    sys.exit(f"bench-full-paths.sh: '{old}' is not once in full_repair.cpp")
open(target, "w", encoding="utf-8").write(text.replace(old, new))
EOF
    build "$name"
    for mode in once twice nbsp; do
        cmp -s <("$work/full" --full "$work/check/$mode.txt") \
            <("$work/$name" --full "$work/check/$mode.txt") ||
            { echo "bench-full-paths.sh: $name repairs $mode.txt otherwise" >&2; exit 1; }
    done
    compare+=("$name=$work/$name")
done
cd - >/dev/null
ORVIK_BENCH_FULL_COMPARE="${compare[*]}" bash scripts/bench-full.sh
