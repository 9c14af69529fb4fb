#!/usr/bin/env bash
# Sets up, builds and runs every test: the Linux build's suites, then the Windows cross-builds'
# suites under Wine and their end-to-end download into termsim (64-bit and 32-bit), and the
# 64-bit window under Wine on a virtual display (scripts/test-windows.sh, under one deadline). The
# first run builds Qt for Windows (about 20 minutes on two cores; kept in ~/.cache/termload).
# Arguments go to the Linux ctest run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default
ctest --preset default -j2 "$@"

scripts/setup-windows.sh
scripts/setup-windows-qt.sh
# The Windows part has one deadline: a step that hangs fails the run instead of holding it.
windows_deadline=${TERMLOAD_WINDOWS_DEADLINE:-2400}
# timeout runs it in a process group of its own, which it ends at the deadline; Ctrl-C here
# is handed on to that group.
timeout --kill-after=60 "$windows_deadline" scripts/test-windows.sh &
windows=$!
trap 'kill -INT -- "-$windows" 2>/dev/null || true' INT TERM
code=0
wait "$windows" || code=$?
while kill -0 "$windows" 2>/dev/null; do code=0; wait "$windows" || code=$?; done
if [ "$code" -eq 124 ] || [ "$code" -eq 137 ]; then
  echo "test: the Windows tests did not end within ${windows_deadline} s (TERMLOAD_WINDOWS_DEADLINE)" >&2
fi
exit "$code"
