#!/usr/bin/env bash
# The Windows builds and their tests under Wine, the part of scripts/test.sh after Qt for Windows
# is there: each preset's suites under Wine and its end-to-end download into termsim (64-bit and
# 32-bit), then the 64-bit window on a virtual display. scripts/test.sh runs it under one deadline.
set -euo pipefail
cd "$(dirname "$0")/.."
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
