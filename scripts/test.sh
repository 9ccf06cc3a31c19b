#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
BUILD_DIR=$build "$root/scripts/build.sh"
count=$(ctest --test-dir "$build" -N | sed -n 's/^Total Tests: //p')
echo "running ${count:-the} tests"
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure
