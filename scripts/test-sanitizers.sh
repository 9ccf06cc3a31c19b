#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan and runs every test there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SANITIZER_BUILD_DIR:-$root/build-asan}
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DRUN_SANITIZE=address,undefined \
  -DRUN_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$build" -j"$(nproc)" --output-on-failure
