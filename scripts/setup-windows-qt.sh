#!/usr/bin/env bash
# Builds Qt for 64-bit Windows (mingw-w64) from Debian's qt6-base source package, once per machine:
# Core, Gui, Widgets, Test, the Windows and offscreen platform plugins, into a cache folder named by
# the Qt version (the native qt6-base-dev's, whose moc, rcc and uic serve as the host tools). A
# cache of that version is reused; another version is built anew. Prints the folder as its last
# line. TERMLOAD_QT_CACHE overrides the cache root (default ~/.cache/termload).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-windows.sh

sudo=""
if [ "$(id -u)" -ne 0 ]; then sudo="sudo"; fi
packages=(qt6-base-dev ninja-build ccache g++-mingw-w64-x86-64-posix)
missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -gt 0 ]; then
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# The host Qt and the source must be the same release: the version is the native package's.
version=$(dpkg-query -W -f='${Version}' qt6-base-dev | sed 's/[+-].*//')
root=${TERMLOAD_QT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/termload}
prefix="$root/qt-$version-mingw64"
if [ -f "$prefix/.complete" ]; then
  echo "setup-windows-qt: Qt $version for Windows is in $prefix"
  echo "$prefix"
  exit 0
fi
# Other versions' folders go: the cache holds the one the host tools match.
rm -rf "$root"/qt-*-mingw64 "$root"/qt-build
mkdir -p "$root"

work="$root/qt-build"
mkdir -p "$work"
echo "setup-windows-qt: fetching Debian's qt6-base $version source"
(cd "$work" && apt-get source --download-only -qq "qt6-base=$(dpkg-query -W -f='${Version}' qt6-base-dev)" >/dev/null 2>&1) || {
  echo "setup-windows-qt: could not fetch the qt6-base source package (is a deb-src entry there?)" >&2
  exit 1
}
tar -xf "$work"/qt6-base_*.orig.tar.* -C "$work"
src=$(find "$work" -maxdepth 1 -type d -name 'qtbase-*' | head -n 1)

cat >"$work/toolchain.cmake" <<'EOF'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

echo "setup-windows-qt: configuring (the build takes about 20 minutes on two cores, less with ccache)"
# Debian's source lacks the wintab header (tablet events off); the 6.4 Windows plugin needs
# OpenGL on to compile, desktop OpenGL needs nothing beyond mingw's opengl32.
cmake -S "$src" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_accessibility=OFF \
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
  -DFEATURE_system_zlib=OFF -DFEATURE_vulkan=OFF -DFEATURE_tabletevent=OFF \
  -DFEATURE_opengl=ON -DFEATURE_opengl_desktop=ON >"$work/configure.log" 2>&1 || {
  tail -n 40 "$work/configure.log" >&2
  exit 1
}
# Paths under the work folder are hashed relative to it: a rebuild in a new folder hits the cache.
CCACHE_BASEDIR="$work" CCACHE_NOHASHDIR=1 cmake --build "$work/build" >"$work/build.log" 2>&1 || {
  tail -n 40 "$work/build.log" >&2
  exit 1
}
cmake --install "$work/build" >"$work/install.log" 2>&1
touch "$prefix/.complete"
rm -rf "$work"
echo "setup-windows-qt: Qt $version for Windows installed in $prefix"
echo "$prefix"
