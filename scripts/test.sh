#!/usr/bin/env bash
# Builds one tree with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test in it (benchmarks are built but not run).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
bash "$top/scripts/setup.sh"
build=${MARLIN_TEST_BUILD:-$top/build/asan}
jobs=${MARLIN_JOBS:-$(nproc)}
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMARLIN_SANITIZE=ON >/dev/null
cmake --build "$build" -j "$jobs"
ctest --test-dir "$build" -LE bench -j "$jobs" --output-on-failure --timeout 600 "$@"
