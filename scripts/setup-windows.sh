#!/usr/bin/env bash
# Installs what the Windows cross-builds and their runs under Wine need, and unpacks hidapi's source
# (its Windows backend is compiled into the build: Debian has no mingw-w64 hidapi) into
# build/third-party/hidapi. Idempotent: when everything is there it only checks and returns.
set -euo pipefail
cd "$(dirname "$0")/.."

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi

# wine32 (32-bit programs) comes from the i386 architecture.
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  echo "setup-windows: adding the i386 architecture for wine32"
  $sudo dpkg --add-architecture i386
  $sudo apt-get update -qq
fi

packages=(
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix libz-mingw-w64-dev
  wine wine64 wine32:i386 socat libgtest-dev ninja-build ccache
  xvfb xdotool imagemagick nsis
)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup-windows: installing ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Debian's source packages (hidapi here, qt6-base for the window), from the same archive as the
# system's packages.
sources=/etc/apt/sources.list.d/termload-deb-src.sources
if ! grep -rqs "^Types:.*deb-src" /etc/apt/sources.list.d/ && [ ! -f "$sources" ]; then
  echo "setup-windows: adding source package entries ($sources)"
  sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources | $sudo tee "$sources" >/dev/null
  $sudo apt-get update -qq
fi

hidapi=build/third-party/hidapi
if [ ! -f "$hidapi/windows/hid.c" ]; then
  scratch=$(mktemp -d)
  trap 'rm -rf "$scratch"' EXIT
  (cd "$scratch" && apt-get source --download-only -qq hidapi >/dev/null 2>&1) || {
    echo "setup-windows: could not fetch the hidapi source package" >&2
    exit 1
  }
  mkdir -p "$scratch/unpacked"
  tar -xzf "$scratch"/hidapi_*.orig.tar.gz -C "$scratch/unpacked"
  mkdir -p "$(dirname "$hidapi")"
  rm -rf "$hidapi"
  mv "$scratch"/unpacked/hidapi-* "$hidapi"
  echo "setup-windows: hidapi source in $hidapi"
fi
