#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian and prints its path as the last line.
#   scripts/package.sh                  a Release tree of the programs alone in build/package,
#                                       with Debian's hardening flags
#   scripts/package.sh --build-dir DIR  packages a tree already configured here (CI reuses
#                                       build/default, which scripts/test.sh has just built)
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/package
if [ $# -gt 0 ]; then
  if [ "$1" != "--build-dir" ] || [ $# -ne 2 ]; then
    echo "usage: scripts/package.sh [--build-dir DIR]" >&2
    exit 2
  fi
  build=$2
  if [ ! -f "$build/CPackConfig.cmake" ]; then
    echo "package: $build is not a configured build tree" >&2
    exit 2
  fi
fi

scripts/setup.sh >&2
if [ "$build" = build/package ]; then
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DTERMLOAD_TESTS=OFF -DTERMLOAD_BENCH=OFF \
    "-DCMAKE_C_FLAGS=$(dpkg-buildflags --get CFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
    "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" \
    "-DCMAKE_MODULE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)" >&2
fi
cmake --build "$build" >&2

rm -f "$build"/deb/termload_*.deb
(cd "$build" && cpack -G DEB) >&2
debs=("$build"/deb/termload_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "package: cpack made no single termload_*.deb in $build/deb" >&2
  exit 1
fi
# A package lintian finds errors in is no package.
lintian --fail-on error "${debs[0]}" >&2
realpath "${debs[0]}"
