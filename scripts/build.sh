#!/usr/bin/env bash
# Configures and builds the project into BUILD_DIR (default: build), quietly:
# the compiler's output goes to BUILD_DIR/build.log, whose end is shown only
# when the build fails.
#   BUILD_TYPE     CMake build type (default RelWithDebInfo)
#   BUILD_TARGETS  targets to build, separated by spaces (default: all)
#   RUN_WERROR     ON turns compiler warnings into errors (default OFF)
#   extra arguments go to the configure step (-DNAME=VALUE ...)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/quiet.sh"
build=${BUILD_DIR:-$root/build}
type=${BUILD_TYPE:-RelWithDebInfo}
mkdir -p "$build"
build=$(cd "$build" && pwd)
log=$build/build.log
: >"$log"

quietly "$log" "configuring $(shown_path "$build") ($type)" \
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE="$type" -DRUN_WERROR="${RUN_WERROR:-OFF}" "$@"

targets=()
read -r -a targets <<<"${BUILD_TARGETS:-}"
what="everything"
[ ${#targets[@]} -eq 0 ] || what="${targets[*]}"
target_args=()
[ ${#targets[@]} -eq 0 ] || target_args=(--target "${targets[@]}")
quietly "$log" "building $what in $(shown_path "$build")" \
  cmake --build "$build" -j"$(nproc)" "${target_args[@]}"
