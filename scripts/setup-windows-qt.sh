#!/usr/bin/env bash
# Builds Qt for 64-bit Windows (mingw-w64) once per machine, from Debian's qt6-base source package:
# Core, Gui, Widgets, Test and the Windows and offscreen platform plugins, installed into a cache
# folder named by the Qt version. The host's qt6-base-dev supplies moc, rcc and uic, so the source
# is always the host's release: a cache of that version is reused, another one is removed. An
# interrupted build resumes where it stopped. Prints the folder as its last line.
# TERMLOAD_QT_CACHE overrides the cache root (default ~/.cache/termload).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-windows.sh

host_release=$(dpkg-query -W -f='${Version}' qt6-base-dev)
version=${host_release%%[+-]*}
root=${TERMLOAD_QT_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/termload}
prefix="$root/qt-$version-mingw64"
if [ -f "$prefix/.complete" ]; then
  echo "setup-windows-qt: Qt $version for Windows is in $prefix"
  echo "$prefix"
  exit 0
fi

work="$root/qt-$version-build"
for old in "$root"/qt-*-mingw64 "$root"/qt-*-build; do
  if [ -e "$old" ] && [ "$old" != "$prefix" ] && [ "$old" != "$work" ]; then
    echo "setup-windows-qt: removing $old (another Qt release)"
    rm -rf "$old"
  fi
done
mkdir -p "$work"
src=$(find "$work" -maxdepth 1 -type d -name 'qtbase-*' | head -n 1)
if [ -z "$src" ]; then
  echo "setup-windows-qt: fetching Debian's qt6-base $host_release source"
  (cd "$work" && apt-get source --download-only -qq "qt6-base=$host_release" >/dev/null 2>&1) || {
    echo "setup-windows-qt: could not fetch the qt6-base source package" >&2
    exit 1
  }
  tar -xf "$work"/qt6-base_*.orig.tar.* -C "$work"
  rm -f "$work"/qt6-base_*
  src=$(find "$work" -maxdepth 1 -type d -name 'qtbase-*' | head -n 1)
fi

started=$(date +%s)
if [ ! -f "$work/build/build.ninja" ]; then
  echo "setup-windows-qt: configuring Qt $version for mingw-w64"
  # Debian's source lacks the wintab header (so no tablet events), and the 6.4 Windows platform
  # plugin only compiles with OpenGL on: desktop OpenGL needs nothing beyond mingw's opengl32.
  cmake -S "$src" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
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
fi
echo "setup-windows-qt: building (about 20 minutes on two idle cores the first time; ccache keeps"
echo "setup-windows-qt: what was compiled, so a rebuild takes a few minutes)"
# Paths are hashed relative to the work folder, so a rebuild after the folder went hits the cache.
CCACHE_BASEDIR="$work" CCACHE_NOHASHDIR=1 cmake --build "$work/build" >"$work/build.log" 2>&1 || {
  tail -n 40 "$work/build.log" >&2
  exit 1
}
cmake --install "$work/build" >"$work/install.log" 2>&1 || {
  tail -n 20 "$work/install.log" >&2
  exit 1
}
touch "$prefix/.complete"
rm -rf "$work"
echo "setup-windows-qt: Qt $version for Windows built in $(( $(date +%s) - started )) s, installed in $prefix"
echo "$prefix"
