#!/usr/bin/env bash
# The first command on a fresh clone: sets up, builds what the demo needs, and downloads sample
# files into simulated terminals, ending with a table that shows every file arrived intact.
# Arguments go to `termload-cli demo` (e.g. --ports 27 --passes 2).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default --target termload-cli termsim
exec build/default/src/cli/termload-cli demo --termsim build/default/sim/termsim "$@"
