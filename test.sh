#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test suite; then the core tests again under
# AddressSanitizer + UndefinedBehaviorSanitizer and under ThreadSanitizer, then runs the fuzz targets
# briefly. Non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh

jobs=$(nproc)
configure() {  # folder, extra cmake options...
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja -DTESSARIN_WERROR=ON "$@" >/dev/null
}

echo "== build and test"
configure build
cmake --build build
ctest --test-dir build --output-on-failure -j"$jobs"

echo "== AddressSanitizer + UndefinedBehaviorSanitizer"
configure build-asan -DTESSARIN_CORE_ONLY=ON -DTESSARIN_SANITIZE=address,undefined
cmake --build build-asan
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" -L core

echo "== ThreadSanitizer"
configure build-tsan -DTESSARIN_CORE_ONLY=ON -DTESSARIN_SANITIZE=thread
cmake --build build-tsan
# ThreadSanitizer of this compiler cannot map its shadow memory under the kernel's full address-space
# randomisation; setarch -R turns that off for the test run only.
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  setarch "$(uname -m)" -R ctest --test-dir build-tsan --output-on-failure -j"$jobs" -L core

echo "== fuzz targets, briefly"
# About ten seconds each: enough to replay the seed corpora and catch a fresh fault on the paths they
# open; longer runs are scripts/fuzz.sh SECONDS.
scripts/fuzz.sh 10

echo "== all test suites passed"
