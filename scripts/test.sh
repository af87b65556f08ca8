#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and runs every test: a developer build, the same tests under AddressSanitizer and
# UndefinedBehaviorSanitizer (warnings are errors in both), orvik.exe for Windows with its tests
# under wine, a short run of the benchmark, the tests built with clang and a bounded fuzzing run.
# Installs what it needs on Debian; a step that cannot run fails the whole.
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/packages.sh

orvik_install_packages "${ORVIK_BUILD_PACKAGES[@]}" "${ORVIK_TEST_PACKAGES[@]}" \
    "${ORVIK_WINDOWS_PACKAGES[@]}"
jobs=$(orvik_jobs)

step() { printf '\n== %s ==\n' "$*"; }

for preset in dev asan; do
    step "build and test: $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset" -j "$jobs"
    ctest --preset "$preset" -j "$jobs"
done

# orvik.exe cross-built for Windows; its tests run under wine.
step "build and test: windows"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
ctest --preset windows -j "$jobs"

# The developer build holds the benchmarks too: a short run shows they still work.
step "benchmark smoke run"
ORVIK_BENCH_MIB=1 ./build/dev/bin/repair_bench --benchmark_min_time=0.01 >/dev/null

step "build and test: clang"
cmake --preset clang >/dev/null
cmake --build --preset clang -j "$jobs"
ctest --preset clang -j "$jobs"

step "fuzzing for ${ORVIK_FUZZ_SECONDS:-60} s"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$jobs"
scripts/fuzz.sh "${ORVIK_FUZZ_SECONDS:-60}"

step "all tests passed"
