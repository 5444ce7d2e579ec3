#!/usr/bin/env bash
# Installs what is missing, builds in Release, and shows a generated sample job with the inspector.
set -euo pipefail
cd "$(dirname "$0")"
scripts/install-deps.sh
cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF >/dev/null
cmake --build build-release
mkdir -p demo
build-release/tools/tessarin-makejob --width 1600 --height 800 --pattern bands demo/sample.prn
build-release/tools/tessarin-inspect demo/sample.prn
