#!/usr/bin/env bash
# Installs the Debian packages the build and tests need, only those missing. Sourced by
# run.sh and test.sh; pass extra package names as arguments.
set -euo pipefail

packages=(g++ cmake ninja-build pkg-config qt6-base-dev libusb-1.0-0-dev googletest libgtest-dev libgmock-dev
          fonts-dejavu-core "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
