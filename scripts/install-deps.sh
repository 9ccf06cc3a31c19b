#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and the demo need.
# Runs apt-get only when a package is missing; uses sudo when not root.
set -euo pipefail

packages=(
  build-essential cmake pkg-config git
  libplist-dev libcurl4-openssl-dev libglib2.0-dev nlohmann-json3-dev libcpp-httplib-dev
  libssl-dev uuid-dev openssl ca-certificates
  libgtest-dev libgmock-dev libbenchmark-dev
  clang-14 lld-14 llvm-14 libclang-rt-14-dev clang-format
  zip unzip curl libdeflate-dev zlib1g-dev libarchive-tools python3
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then as_root=(sudo); fi
echo "Installing: ${missing[*]}" >&2
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
