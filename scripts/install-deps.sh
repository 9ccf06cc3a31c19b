#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and the demo need.
# Runs apt-get only when a package is missing; uses sudo when not root.
# apt-get's output goes to a log file, shown only when it fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/quiet.sh"

packages=(
  build-essential cmake pkg-config git
  libplist-dev libxml2-dev libcurl4-openssl-dev libglib2.0-dev nlohmann-json3-dev libcpp-httplib-dev
  libssl-dev uuid-dev openssl ca-certificates
  nginx
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 lld-14 llvm-14 libclang-rt-14-dev clang-format
  zip unzip curl libdeflate-dev zlib1g-dev libarchive-dev libarchive-tools python3
  libglib2.0-bin e2fsprogs
  file dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "packages: all ${#packages[@]} installed"
  exit 0
fi

# sudo drops the caller's environment, so the variables go through env.
as_root=()
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "installing ${missing[*]} needs root or sudo" >&2; exit 1; }
  as_root=(sudo)
  sudo -v
fi
log=$(mktemp "${TMPDIR:-/tmp}/run-install-deps-XXXXXX.log")
quietly "$log" "updating the package lists" "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
quietly "$log" "installing packages: ${missing[*]}" "${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
  apt-get install -y -q --no-install-recommends "${missing[@]}"
rm -f "$log"
