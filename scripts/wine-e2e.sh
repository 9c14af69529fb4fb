#!/usr/bin/env bash
# The Windows termload-cli under Wine against termsim on this machine:
#   scripts/wine-e2e.sh [x64|x86]
# builds the Windows preset (and the Linux termload-cli and termsim that stage the demo), then
#  1. the demo with 9 ports x 2 passes, the download done by termload-cli.exe through Wine's COM
#     ports, and its verification table: every file byte for byte;
#  2. the clock packet, checked by the terminal;
#  3. the trace log LOG.txt: the same lines as the Linux program writes for the same run;
#  4. Ctrl-C stops a run that would go on forever, cleanly (exit 130);
#  5. a terminal that hangs up at any frame of a pass fails that pass (scripts/wine-hangups.sh).
# Ends with PASS and exit 0 only when all of it held.
set -euo pipefail
cd "$(dirname "$0")/.."
arch=${1:-x64}
case $arch in x64|x86) ;; *) echo "usage: $0 [x64|x86]" >&2; exit 2 ;; esac

scripts/setup.sh
scripts/setup-windows.sh
cmake --preset default >/dev/null
cmake --build --preset default --target termload-cli termsim
cmake --preset "windows-$arch" >/dev/null
cmake --build --preset "windows-$arch" --target termload-cli

# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
wine_env_init "$arch"

cli=build/default/src/cli/termload-cli
termsim=build/default/sim/termsim
exe=build/windows-$arch/src/cli/termload-cli.exe
work=$(mktemp -d)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "wine-e2e: FAIL: $*"; failures=$((failures + 1)); }

echo "== 1. demo: 9 ports x 2 passes by $exe under Wine ($arch)"
started=$(date +%s)
if ! timeout 900 "$cli" demo --ports 9 --passes 2 --runner scripts/wine-cli.sh "$arch" "$exe"; then
  fail "the demo through Wine did not end with PASS"
fi
echo "(demo through Wine: $(( $(date +%s) - started )) s)"

# One simulated terminal for the single-port checks; its port map is what wine-cli.sh maps.
start_termsim() {
  rm -rf "$work/sim"
  mkdir -p "$work/sim"
  "$termsim" --ports 1 --dir "$work/sim" --quiet >"$work/termsim.log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do
    grep -qi '^COM1=' "$work/sim/ports.ini" 2>/dev/null && return 0
    sleep 0.1
  done
  echo "wine-e2e: termsim did not start"; cat "$work/termsim.log"; exit 1
}
stop_termsim() { kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; sim_pid=""; }

echo "== 2. clock packet"
start_termsim
TERMLOAD_FAKE_TIME="2026-12-07 10:11:12" timeout 120 scripts/wine-cli.sh "$arch" "$exe" clock --port 1 \
  --ports-map "$work/sim/ports.ini" || fail "clock command"
sleep 0.5
if grep -q '"event":"clock"' "$work/sim/results.jsonl" \
   && grep '"event":"clock"' "$work/sim/results.jsonl" | grep -q '"time":"2026-12-07T10:11:12"' \
   && grep '"event":"clock"' "$work/sim/results.jsonl" | grep -q '"valid":true'; then
  echo "clock: the terminal took 2026-12-07 10:11:12, packet valid"
else
  fail "the terminal did not record a valid clock packet of 2026-12-07 10:11:12"
  grep '"event":"clock"' "$work/sim/results.jsonl" || true
fi
stop_termsim

echo "== 3. trace log"
# The same one-port run with the trace on, by the Linux and by the Windows program: the two
# LOG.txt files must be the same lines but for the times and the record addresses (%p).
for side in native "$arch"; do
  program=$PWD/$exe
  if [ "$side" = native ]; then program=$PWD/$cli; fi
  mkdir -p "$work/trace-$side"
  if ! TERMLOAD_WINE_TRACE=1 TERMLOAD_WINE_WORKDIR="$work/trace-$side" timeout 600 "$cli" demo --ports 1 \
      --passes 1 --runner "$PWD/scripts/wine-cli.sh" "$side" "$program" >"$work/trace-$side.out" 2>&1; then
    tail -5 "$work/trace-$side.out"; fail "the traced run ($side)"
  fi
done
normalise() { sed -E 's/^<[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}> //; s/^(Heap(Alloc|Free)) [0-9a-fA-Fx]+/\1 P/' "$1"; }
linux_log=$work/trace-native/LOG.txt
windows_log=$work/trace-$arch/LOG.txt
if [ ! -s "$windows_log" ] || [ ! -s "$linux_log" ]; then
  fail "LOG.txt missing (Linux: $(test -s "$linux_log" && echo yes || echo no), Windows: $(test -s "$windows_log" && echo yes || echo no))"
elif ! diff <(normalise "$linux_log") <(normalise "$windows_log") >"$work/trace.diff"; then
  fail "LOG.txt differs from the Linux one beyond times and addresses:"; head -20 "$work/trace.diff"
else
  echo "LOG.txt: $(wc -l <"$windows_log") lines, the same as on Linux but for times and addresses"
fi

echo "== 4. Ctrl-C"
# A run of many passes; Ctrl-C reaches the Windows program (Wine turns SIGINT into CTRL_C_EVENT).
TERMLOAD_WINE_WORKDIR="$work" "$cli" demo --ports 1 --passes 1000 \
  --runner scripts/wine-cli.sh "$arch" "$exe" >"$work/stop.out" 2>&1 &
demo_pid=$!
# The Windows program of this run (ps shows its name cut to 15 characters), never another run's.
windows_cli=termload-cli.ex
for _ in $(seq 300); do [ -n "$(wine_run_pids "$windows_cli")" ] && break; sleep 0.1; done
sleep 3
wine_run_signal INT "$windows_cli" || fail "no Windows termload-cli of this run to interrupt"
code=0
for _ in $(seq 200); do kill -0 "$demo_pid" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$demo_pid" 2>/dev/null; then
  fail "the run did not end within 20 s of Ctrl-C"
  wine_run_signal KILL "$windows_cli" || true; kill "$demo_pid" || true; wait "$demo_pid" || true
else
  wait "$demo_pid" || code=$?
  if [ "$code" -eq 130 ]; then
    echo "Ctrl-C: the Windows run stopped, exit 130"
  else
    fail "Ctrl-C: exit $code, not 130"; tail -20 "$work/stop.out"
  fi
fi

echo "== 5. a hang-up at every frame of one pass"
scripts/wine-hangups.sh "$arch" "$exe" "$termsim" || fail "a hang-up that did not fail its pass"

if [ "$failures" -eq 0 ]; then
  echo "PASS: the Windows termload-cli ($arch) under Wine"
  exit 0
fi
echo "FAIL: $failures check(s) failed"
exit 1
