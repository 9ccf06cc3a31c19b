#!/usr/bin/env bash
# Installs what is needed, builds the tool and the stand-ins, and shows the
# tool at work on a sample build (scripts/run-demo.sh).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
"$root/scripts/install-deps.sh"
BUILD_DIR=$build BUILD_TARGETS="run quorvex_service desktop-app named_parent" "$root/scripts/build.sh"
echo "running the demo"
"$root/scripts/run-demo.sh" "$build"
