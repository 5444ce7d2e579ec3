#!/usr/bin/env bash
# Builds the libFuzzer programs of tests/fuzz into build-fuzz (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for the given seconds (default 60), one after the other.
# Seeds come from tests/fuzz/corpus/<target>/; what the run adds stays in build-fuzz/corpus/<target>/.
# A crashing input is written to build-fuzz/crashes/ and the script exits non-zero.
# Usage: scripts/fuzz.sh [seconds-per-target] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
shift || true
build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DTESSARIN_WERROR=ON -DTESSARIN_CORE_ONLY=ON \
  -DTESSARIN_SANITIZE=address,undefined -DTESSARIN_FUZZ=ON >/dev/null
cmake --build "$build" --target fuzz_targets

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in tests/fuzz/*Fuzz.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

mkdir -p "$build/crashes"
failed=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus"
  echo "== $target: ${seconds}s"
  log="$build/fuzz-$target.log"
  if ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
      "$build/tests/fuzz/$target" "$corpus" "tests/fuzz/corpus/$target" -max_total_time="$seconds" \
      -artifact_prefix="$build/crashes/$target-" -print_final_stats=1 >"$log" 2>&1; then
    # The last progress line carries the coverage; the final statistics the speed.
    grep -E '^#[0-9]+' "$log" | tail -1
    grep -E 'stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$log"
  else
    failed=1
    echo "$target FAILED; its log is $log:" >&2
    grep -E 'ERROR|SUMMARY|check failed|Test unit written' "$log" >&2 || tail -20 "$log" >&2
  fi
done
exit $failed
