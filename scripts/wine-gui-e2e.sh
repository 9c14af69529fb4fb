#!/usr/bin/env bash
# The Windows window (termload.exe, 64-bit) under Wine on a virtual display, driven as an operator
# drives it, against termsim on this machine. For each language (Chinese, then English):
#  1. the configuration is the last one of the registry (HKCU\Software\QTV\M740DL), as a PC that
#     used the program before has it; termload.exe starts and loads it;
#  2. a real click (xdotool) on multi-port, then on the download button, starts 9 ports at once
#     through Wine's COM ports into 9 simulated terminals;
#  3. every panel's progress and tally counts two terminals served, none failed (the window
#     reports what it shows: TERMLOAD_WINDOW_REPORT); a screenshot is taken;
#  4. a click stops the run, Alt+F4 closes the window, and the program ends;
#  5. every file of both terminals of every port is byte for byte the source.
# The screenshots go to docs/screenshots/windows-*.png with --screenshots (otherwise to the
# scratch folder). Ends with PASS and exit 0 only when all of it held.
#   scripts/wine-gui-e2e.sh [--screenshots]
set -euo pipefail
cd "$(dirname "$0")/.."
keep_screenshots=0
if [ "${1:-}" = --screenshots ]; then keep_screenshots=1; shift; fi
[ $# -eq 0 ] || { echo "usage: $0 [--screenshots]" >&2; exit 2; }

scripts/setup.sh
scripts/setup-windows.sh
scripts/setup-windows-qt.sh >/dev/null
cmake --preset default >/dev/null
cmake --build --preset default --target termsim
cmake --preset windows-x64 >/dev/null
cmake --build --preset windows-x64 --target termload

# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
# shellcheck source=scripts/wine-window.sh
source scripts/wine-window.sh

termsim=build/default/sim/termsim
exe=$PWD/build/windows-x64/src/app/termload.exe
ports=9
passes=2
work=$(mktemp -d)
sim_pid=""
stop_termsim() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  sim_pid=""
}
cleanup() {
  window_display_stop
  stop_termsim
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "wine-gui-e2e: FAIL: $*"; failures=$((failures + 1)); }

# The display first: the prefix's desktop draws on the display its server started with.
window_display_start "$work"
wine_env_init x64
WINDOW_REPORT=$work/window.json

# The files of the configuration: an application, a picture and a parameter file whose name on
# the PC is Chinese.
stage() {
  local dir=$1 language=$2
  mkdir -p "$dir/received"
  head -c 120000 /dev/urandom >"$dir/app.bin"
  head -c 3000 /dev/urandom >"$dir/logo0.bmp"
  printf '[Terminal]\r\nMerchant=Demo Store\r\n' >"$dir/参数配置.ini"
  cat >"$dir/Config.ini" <<CONFIG
[ModeList]
00=M740-32

[Config]
Language=$language
MachMode=0
HardVersion=10
Port=0
PortNum=0
BuardRate=12
NewMachine=1
DownTimer=0
S4KDelay=1
FILE_INTERVAL=10
FILE_INTERVAL_=80
CMDDelay=1000
DegugMode=0
TraceLog=0

[History]
RecentCount=3
Recent0=1;app.bin;app.bin
Recent1=2;logo0.bmp;logo0.bmp
Recent2=2;参数配置.ini;paramcfg.ini
CONFIG
}
expected_files=("app.bin:app.bin" "logo0.bmp:logo0.bmp" "参数配置.ini:paramcfg.ini")

# One language's run; a step that fails ends the run with its failure.
run_language() {
  local language=$1 name=$2
  local dir=$work/$name
  echo "== $name: configuration from the registry, 9 ports, $passes terminals a port"
  stage "$dir" "$language"
  "$termsim" --ports $ports --dir "$dir/received" --map "$dir/ports.ini" --quiet >"$dir/termsim.log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do grep -q "^COM$ports=" "$dir/ports.ini" 2>/dev/null && break; sleep 0.1; done
  grep -q "^COM$ports=" "$dir/ports.ini" || { fail "termsim did not start"; cat "$dir/termsim.log"; return; }
  while IFS='=' read -r key device; do
    if [[ $key =~ ^COM([0-9]+)$ ]]; then
      wine_point_com "${BASH_REMATCH[1]}" "$device" || { fail "COM${BASH_REMATCH[1]} not pointed at $device"; return; }
    fi
  done <"$dir/ports.ini"

  # The last configuration, as the program left it on a PC where it ran before.
  local registry='HKCU\Software\QTV\M740DL'
  timeout 120 wine reg add "$registry" /v LastConfig /t REG_SZ /d "$(timeout 60 winepath -w "$dir/Config.ini")" /f >>"$WINEPREFIX.log" 2>&1 &&
    timeout 120 wine reg add "$registry" /v LastPath /t REG_SZ /d "$(timeout 60 winepath -w "$dir")" /f >>"$WINEPREFIX.log" 2>&1 ||
    { fail "the last configuration could not be set in the registry"; return; }

  pushd "$dir" >/dev/null
  window_start "$dir/window.log" "$exe"
  popd >/dev/null
  if ! wait_shown "'btnDown' in r['buttons'] and 'rbMulti' in r['buttons']" 60; then
    fail "the window did not show"; cat "$dir/window.log"; return
  fi
  echo "window up: $(shown "r['title']")"
  # The report says what the program drew; the display must show it too, or no click can reach it.
  local window=""
  for _ in $(seq 20); do
    window=$(window_x_id)
    [ -n "$window" ] && break
    sleep 0.5
  done
  [ -n "$window" ] || { fail "no X window named $(shown "r['title']") on display $DISPLAY"; return; }
  # The configuration of the registry is loaded: its language is the window's.
  local english=True
  [ "$language" = 1 ] || english=False
  [ "$(shown "r['buttons']['btnDown']['text'].isascii()")" = $english ] ||
    fail "the window does not speak the configuration's language: $(shown "r['buttons']['btnDown']['text']")"
  click rbMulti
  wait_shown "r['buttons']['rbMulti']['checked']" 10 || { fail "multi-port was not chosen by the click"; return; }
  local idle_text
  idle_text=$(shown "r['buttons']['btnDown']['text']")
  click btnDown
  wait_shown "r['buttons']['btnDown']['text'] != '$idle_text'" 15 || { fail "the click did not start the download"; return; }
  # Served: every port's tally counts the terminals. A bar is back at 0 at each new pass, so
  # whether it moved is watched all along.
  local served="all(p['done'] >= $passes for p in r['panels'] if p['port'] <= $ports)"
  local moving="' '.join(str(p['port']) for p in r['panels'] if p['port'] <= $ports and p['progress'] > 0)"
  local moved="" deadline=$((SECONDS + 240))
  while [ $SECONDS -lt $deadline ] && window_running; do
    moved="$moved $(shown "$moving")"
    [ "$(shown "$served")" = True ] && break
    sleep 0.3
  done
  if [ "$(shown "$served")" = True ]; then
    echo "every panel: $(shown "', '.join('COM%d %d/%d' % (p['port'], p['done'], p['failed']) for p in r['panels'] if p['port'] <= $ports)") (done/failed)"
  else
    fail "not every port served $passes terminals: $(shown "[(p['port'], p['done'], p['failed'], p['status']) for p in r['panels'] if p['port'] <= $ports]")"
  fi
  [ "$(shown "sum(p['failed'] for p in r['panels'])")" = 0 ] || fail "a panel counts failures: $(shown "[(p['port'], p['failed']) for p in r['panels'] if p['failed']]")"
  for ((port = 1; port <= ports; ++port)); do
    [[ " $moved " == *" $port "* ]] || fail "the progress bar of COM$port never moved"
  done
  local picture=$work/windows-window-$name-9-port-run.png
  if [ $keep_screenshots = 1 ]; then picture=docs/screenshots/windows-window-$name-9-port-run.png; fi
  timeout 60 import -window "$window" "$picture" || fail "no screenshot of window $window"

  click btnDown
  wait_shown "r['buttons']['btnDown']['text'] == '$idle_text'" 30 || { fail "the click did not stop the run"; return; }
  if window_close 20; then
    echo "window closed"
  else
    fail "the window did not close on Alt+F4, or its program ended with an error"
    return
  fi
  stop_termsim

  local identical=0 total=0
  for ((port = 1; port <= ports; ++port)); do
    for ((unit = 1; unit <= passes; ++unit)); do
      for pair in "${expected_files[@]}"; do
        total=$((total + 1))
        if cmp -s "$dir/${pair%%:*}" "$dir/received/COM$port/unit-$unit/${pair##*:}"; then
          identical=$((identical + 1))
        else
          fail "COM$port unit $unit: ${pair##*:} is not the source byte for byte"
        fi
      done
    done
  done
  echo "$name: $identical of $total files identical"
}

# A language's run that failed leaves its window and terminals behind: they go before the next.
finish_language() {
  window_stop
  stop_termsim
}

run_language 0 zh
finish_language
run_language 1 en
finish_language

if [ "$failures" -eq 0 ]; then
  echo "PASS: the Windows window under Wine"
  exit 0
fi
echo "FAIL: $failures check(s) failed"
exit 1
