#!/usr/bin/env bash
# Sets up, builds and runs every test: the Linux build's suites, then the Windows cross-builds'
# suites under Wine and their end-to-end download into termsim (64-bit and 32-bit), and the
# 64-bit window under Wine on a virtual display. The first run builds Qt for Windows (about 20
# minutes on two cores; kept in ~/.cache/termload). Arguments go to the Linux ctest run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default -j2 "$@"

scripts/setup-windows.sh
scripts/setup-windows-qt.sh
for arch in x64 x86; do
  cmake --preset "windows-$arch" >/dev/null
  cmake --build --preset "windows-$arch"
  (
    # shellcheck source=scripts/wine-env.sh
    source scripts/wine-env.sh
    wine_env_init "$arch"
    ctest --preset "windows-$arch"
  )
  scripts/wine-e2e.sh "$arch"
done
scripts/wine-gui-e2e.sh
