#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer in
# build-asan and runs every test there.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${SANITIZER_BUILD_DIR:-$root/build-asan}
BUILD_DIR=$build BUILD_TYPE=Debug "$root/scripts/build.sh" -DRUN_SANITIZE=address,undefined -DRUN_BENCH=OFF
count=$(ctest --test-dir "$build" -N | sed -n 's/^Total Tests: //p')
echo "running ${count:-the} tests under the sanitizers"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$build" -j"$(nproc)" --output-on-failure
