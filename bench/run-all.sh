#!/usr/bin/env bash
# Builds the benchmarks (optimised, in build-bench) and runs every one of
# them; each prints its measurement beside its goal.
#   bench/run-all.sh [FOLDER]   FOLDER: where the large test files go (default $TMPDIR or /tmp)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build-bench}
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DRUN_TESTS=ON >/dev/null
benches=(bench_macho_open bench_dsym_copy bench_upload_stream bench_upload_memory bench_response_memory)
cmake --build "$build" -j"$(nproc)" --target "${benches[@]}" run quorvex_service named_parent
folder=${1:-${TMPDIR:-/tmp}}
for bench in "${benches[@]}"; do
  printf '\n==== %s\n' "$bench"
  case $bench in
    bench_upload_stream) "$build/bench/$bench" 300 "$folder" ;;
    bench_macho_open) TMPDIR=$folder "$build/bench/$bench" ;;
    *) "$build/bench/$bench" "$folder" ;;
  esac
done
