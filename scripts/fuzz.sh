#!/usr/bin/env bash
# Builds the Mach-O fuzz target with clang and libFuzzer in build-fuzz and
# runs it for SECONDS (default 60) on seeds made from real Mach-O files.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
CC=clang-14 CXX=clang++-14 BUILD_DIR=$build BUILD_TYPE=Debug BUILD_TARGETS=fuzz_macho \
  "$root/scripts/build.sh" -DRUN_FUZZ=ON -DRUN_TESTS=OFF -DRUN_BENCH=OFF
rm -rf "$build/macho-seeds" "$build/macho-corpus" "$build/macho-artifacts"
mkdir -p "$build/macho-corpus" "$build/macho-artifacts"
echo "making seeds from real Mach-O files"
"$root/fuzz/macho-seeds.sh" "$build/macho-seeds"
echo "fuzzing the Mach-O reader for $seconds seconds"
"$build/fuzz/fuzz_macho" -dict="$root/fuzz/macho.dict" -max_total_time="$seconds" \
  -artifact_prefix="$build/macho-artifacts/" -print_final_stats=1 \
  "$build/macho-corpus" "$build/macho-seeds"
