#!/usr/bin/env bash
# Soak run, not part of the tests: N network jobs and N hot-folder files (default 1000 each) through one
# headless service on the virtual printer; checks each printed exactly once and prints the service's
# resident memory, descriptors and threads from start to end.
# Usage: bench/soak.sh [--jobs N]; TESSARIN_BENCH_BUILD chooses the build folder (default build-bench).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${TESSARIN_BENCH_BUILD:-build-bench}
if [ ! -f "$build/CMakeCache.txt" ]; then
  scripts/install-deps.sh
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
fi
cmake --build "$build" --target bench_soak
"$build/bench/bench_soak" "$@"
