#!/usr/bin/env bash
# Builds in Release and runs the benchmarks; each prints its figures against a reference of the same run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build-bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build-bench
# Each program takes the options it knows and passes over the others.
build-bench/bench/bench_engine "$@"
build-bench/bench/bench_net "$@"
build-bench/bench/bench_hotfolder "$@"
