#!/usr/bin/env bash
# Builds a fuzz target with clang and libFuzzer in build-fuzz and runs it
# for SECONDS (default 60) on seeds from fuzz/TARGET-seeds.sh, with
# fuzz/TARGET.dict as dictionary when there is one. TARGET is macho (the
# default: real Mach-O files) or plist (property lists).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
target=${2:-macho}
build=${FUZZ_BUILD_DIR:-$root/build-fuzz}
if [ ! -f "$root/fuzz/${target}_fuzz.cpp" ]; then
  echo "no fuzz target $target" >&2
  exit 2
fi
CC=clang-14 CXX=clang++-14 BUILD_DIR=$build BUILD_TYPE=Debug BUILD_TARGETS="fuzz_$target" \
  "$root/scripts/build.sh" -DRUN_FUZZ=ON -DRUN_TESTS=OFF -DRUN_BENCH=OFF
rm -rf "$build/$target-seeds" "$build/$target-corpus" "$build/$target-artifacts"
mkdir -p "$build/$target-corpus" "$build/$target-artifacts"
echo "making seeds for the $target fuzz target"
"$root/fuzz/$target-seeds.sh" "$build/$target-seeds"
dictionary=()
if [ -f "$root/fuzz/$target.dict" ]; then dictionary=(-dict="$root/fuzz/$target.dict"); fi
echo "fuzzing the $target target for $seconds seconds"
"$build/fuzz/fuzz_$target" "${dictionary[@]}" -max_total_time="$seconds" \
  -artifact_prefix="$build/$target-artifacts/" -print_final_stats=1 \
  "$build/$target-corpus" "$build/$target-seeds"
