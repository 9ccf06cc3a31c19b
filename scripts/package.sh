#!/usr/bin/env bash
# Installs what is needed and builds the Debian package: the Release build of BUILD_DIR (default:
# build-release, the folder CI's Release build uses, so its settings are
# left as they are), then `cpack -G DEB` there, which strips the programs
# and leaves brantle_VERSION_ARCH.deb in BUILD_DIR. Extra arguments go to
# the configure step.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/quiet.sh"
build=${BUILD_DIR:-$root/build-release}

"$root/scripts/install-deps.sh"
BUILD_TYPE=Release BUILD_DIR="$build" bash "$root/scripts/build.sh" "$@"
build=$(cd "$build" && pwd)
quietly "$build/build.log" "packaging in $(shown_path "$build")" \
  bash -c 'cd "$1" && cpack -G DEB' package "$build"
ls "$build"/brantle_*.deb
