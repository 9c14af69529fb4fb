#!/usr/bin/env bash
# Builds the Debian package, checks it with lintian and prints its path as the last line; with
# --windows, the 64-bit Windows installer (NSIS) instead.
#   scripts/package.sh                  a Release tree of the programs alone in build/package,
#                                       with Debian's hardening flags
#   scripts/package.sh --windows        a Release tree of the Windows programs alone in
#                                       build/package-windows, and its installer
#   ... --build-dir DIR                 packages a tree already configured here (CI reuses
#                                       build/default or build/windows-x64, just built and tested)
set -euo pipefail
cd "$(dirname "$0")/.."

windows=0
build=
while [ $# -gt 0 ]; do
  case "$1" in
    --windows) windows=1; shift ;;
    --build-dir)
      if [ $# -lt 2 ]; then
        echo "usage: scripts/package.sh [--windows] [--build-dir DIR]" >&2
        exit 2
      fi
      build=$2; shift 2 ;;
    *)
      echo "usage: scripts/package.sh [--windows] [--build-dir DIR]" >&2
      exit 2 ;;
  esac
done
if [ -n "$build" ] && [ ! -f "$build/CPackConfig.cmake" ]; then
  echo "package: $build is not a configured build tree" >&2
  exit 2
fi

if [ $windows = 1 ]; then
  qt=$(scripts/setup-windows-qt.sh | tail -n 1)
  if [ -z "$build" ]; then
    build=build/package-windows
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" -DTERMLOAD_WINDOWS_QT="$qt" \
      -DTERMLOAD_TESTS=OFF -DTERMLOAD_BENCH=OFF >&2
  fi
  cmake --build "$build" >&2
  rm -f "$build"/installer/termload-*-setup.exe
  (cd "$build" && cpack -G NSIS) >&2
  installers=("$build"/installer/termload-*-win64-setup.exe)
  if [ ${#installers[@]} -ne 1 ] || [ ! -f "${installers[0]}" ]; then
    echo "package: cpack made no single termload-*-win64-setup.exe in $build/installer" >&2
    exit 1
  fi
  realpath "${installers[0]}"
  exit 0
fi

scripts/setup.sh >&2
if [ -z "$build" ]; then
  build=build/package
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
