#!/usr/bin/env bash
# A terminal that hangs up at every frame of one pass, one position per run, against the Windows
# termload-cli under Wine (or the Linux one: ARCH "native"):
#   scripts/wine-hangups.sh x64|x86|native EXE TERMSIM
# The pass has 12 frames: a.bin 1-10, b.bin 11, c.bin 12. Each position must fail its pass (exit
# 1, cause "hang-up"), the last frame of a file included, where the port's name never changes
# and only the open port tells that its terminal went away. Frames are not acknowledged: a
# hang-up at the pass's very last frame is seen within the pause after a file (the default
# FILE_INTERVAL_ of 80 ms), which is kept. Ends with PASS and exit 0.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
arch=$1
exe=$(realpath "$2")
termsim=$(realpath "$3")
work=$(mktemp -d)
sim_pid=""
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

head -c $((10 * 4096 - 100)) /dev/urandom >"$work/a.bin"
printf 'b' >"$work/b.bin"
printf 'c' >"$work/c.bin"
cat >"$work/Config.ini" <<'INI'
[ModeList]
05=M740-32
[Config]
Language=1
MachMode=0
USBDelay=1
S4KDelay=1
EmptyFlash=0
[History]
RecentCount=3
Recent0=1;a.bin;a.bin
Recent1=1;b.bin;b.bin
Recent2=1;c.bin;c.bin
INI

failures=0
for frame in $(seq 1 12); do
  rm -rf "$work/sim" "$work/report.jsonl"
  mkdir -p "$work/sim"
  "$termsim" --ports 1 --dir "$work/sim" --quiet --fault "1:hangup=$frame" >"$work/termsim.log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do
    grep -qi '^COM1=' "$work/sim/ports.ini" 2>/dev/null && break
    sleep 0.1
  done
  code=0
  TERMLOAD_WINE_WORKDIR="$work" timeout 120 "$here/wine-cli.sh" "$arch" "$exe" run \
    --config "$work/Config.ini" --ports-map "$work/sim/ports.ini" --single 1 --passes 1 \
    --report "$work/report.jsonl" >"$work/run.out" 2>&1 || code=$?
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=""
  cause=$(grep -o '"cause":"[a-z-]*"' "$work/report.jsonl" 2>/dev/null | head -1 || true)
  if [ "$code" -eq 1 ] && [ "$cause" = '"cause":"hang-up"' ]; then
    echo "hang-up at frame $frame: pass failed, exit 1, cause hang-up"
  else
    echo "hang-up at frame $frame: FAIL: exit $code, ${cause:-no failure reported}"
    tail -5 "$work/run.out"
    failures=$((failures + 1))
  fi
done
if [ "$failures" -eq 0 ]; then
  echo "PASS: a hang-up at each of the 12 frames fails its pass ($arch)"
  exit 0
fi
echo "FAIL: $failures of 12 positions"
exit 1
