#!/usr/bin/env bash
# Fuzzes the picture reader for an hour (or: tools/fuzz.sh SECONDS [RUNS]),
# niced, from the generated seeds plus what earlier runs found
# (build-fuzz/fuzz-corpus). Inputs that fail land in build-fuzz/crashes/;
# replay one with: build-fuzz/read_fuzzer FILE
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-3600}"
runs="${2:--1}"

"$root/tools/setup.sh"
CC=clang CXX=clang++ cmake -S "$root" -B "$root/build-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMORVANE_E2E=OFF -DMORVANE_BENCH=OFF >/dev/null
cmake --build "$root/build-fuzz" -j2 --target read_fuzzer fuzz_seeds
out="$root/build-fuzz"
"$out/fuzz_seeds" "$out/fuzz-seeds"
mkdir -p "$out/fuzz-corpus" "$out/crashes"
exec nice -n 19 "$out/read_fuzzer" -max_total_time="$seconds" -runs="$runs" -keep_seed=1 \
    -max_len=16384 -timeout=20 -print_final_stats=1 -artifact_prefix="$out/crashes/" \
    "$out/fuzz-corpus" "$out/fuzz-seeds"
