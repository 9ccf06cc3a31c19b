#!/usr/bin/env bash
# Installs what is needed, builds, and shows the tool at work.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" -DRUN_TESTS=OFF -DRUN_BENCH=OFF
run="$build/Brantle.framework/run"

echo "== run without an API key"
"$run" || echo "exit status $?"
echo "== run with a key of 39 characters"
"$run" 012345678901234567890123456789012345678 || echo "exit status $?"
