#!/usr/bin/env bash
# The program's cost when idle and its painting rate during a fast drag,
# against the program of an earlier revision, side by side in one run (see
# bench/session_bench.cpp).
#   bench/session-bench.sh <baseline revision> [repetitions] [figures]
# figures: a comma-separated choice of idle, drag, memory, hand (default all).
# Builds this tree in build/ and the baseline revision's program in
# build-baseline/ (from a scratch checkout of it), then runs the benchmark;
# it starts X servers of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
rev=${1:?usage: bench/session-bench.sh <baseline revision> [repetitions]}
repetitions=${2:-3}
figures=${3:-idle,drag,memory,hand}
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target session_bench -j"$jobs"

checkout=$(mktemp -d)
trap 'git worktree remove --force "$checkout" >/dev/null 2>&1 || rm -rf "$checkout"' EXIT
git worktree add --detach "$checkout" "$rev" >/dev/null
rm -rf build-baseline
cmake -S "$checkout" -B build-baseline -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDAUB_TESTS=OFF -DDAUB_BENCH=OFF >/dev/null
cmake --build build-baseline --target daubwork -j"$jobs"

build/bench/session_bench build-baseline/daubwork build/daubwork "$repetitions" "$figures"
