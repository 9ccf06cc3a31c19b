#!/usr/bin/env bash
# Builds the benchmarks (optimised, in build-bench) and runs every one of
# them; each prints its measurement beside its goal. The large dSYMs hold
# real debug information (bench/DebugInfo.h), gathered once into
# build-bench/bench/debug-info.bin: the first build compiles the tool's
# sources once more with -g for it, which takes a few minutes. The rows on a
# shaped link (bench_shaped_link) run only as root, with unshare, ip and tc;
# elsewhere they print that they are skipped.
#   bench/run-all.sh [FOLDER]   FOLDER: where the large test files go (default $TMPDIR or /tmp)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BENCH_BUILD_DIR:-$root/build-bench}
"$root/scripts/install-deps.sh"
benches=(bench_macho_open bench_dsym_copy bench_dsym_check bench_upload_stream bench_upload_memory
  bench_all_dsyms bench_upload_dsyms bench_shaped_link bench_archiver bench_response_memory
  bench_plist_read)
BUILD_DIR=$build BUILD_TYPE=Release \
  BUILD_TARGETS="${benches[*]} run archiver quorvex_service named_parent" \
  "$root/scripts/build.sh" -DRUN_TESTS=ON
folder=${1:-${TMPDIR:-/tmp}}
# Every benchmark runs even when an earlier one misses its goal; the
# status names the misses at the end.
missed=()
for bench in "${benches[@]}"; do
  printf '\n==== %s\n' "$bench"
  case $bench in
    bench_upload_stream) "$build/bench/$bench" 300 "$folder" ;;
    bench_macho_open) TMPDIR=$folder "$build/bench/$bench" ;;
    bench_plist_read) "$build/bench/$bench" ;;
    bench_upload_memory) "$build/bench/$bench" "$folder" 30,300,3072 3 ;;
    *) "$build/bench/$bench" "$folder" ;;
  esac || missed+=("$bench")
done
if [ ${#missed[@]} -ne 0 ]; then
  printf '\ngoals not met: %s\n' "${missed[*]}"
  exit 1
fi
