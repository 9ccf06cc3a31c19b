#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
ctest --test-dir "${BUILD_DIR:-$root/build}" -j"$(nproc)" --output-on-failure
