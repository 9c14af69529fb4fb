#!/usr/bin/env bash
# Installs every Debian package Termload needs to build, test and run its demo.
# Idempotent: when everything is there it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config ccache clang clang-tidy clang-format libclang-rt-14-dev
  zlib1g-dev libsimpleini-dev libcli11-dev libserialport-dev libhidapi-dev libusb-1.0-0-dev
  libpcsclite-dev pcscd nlohmann-json3-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev qt6-base-dev-tools libgl1-mesa-dev fonts-wqy-zenhei
  lrzsz umockdev libumockdev-dev
  lintian librsvg2-bin appstream
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
