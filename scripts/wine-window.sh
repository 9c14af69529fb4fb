# shellcheck shell=bash
# Driving the Windows window under Wine on a virtual display, as an operator would. A bash library:
#   window_display_start DIR   an Xvfb display of its own (DISPLAY set; its log in DIR). Call it
#                              before wine_env_init (scripts/wine-env.sh): the prefix's desktop
#                              draws on the display it starts with
#   window_start LOG EXE ARGS  starts the window program with its report in $WINDOW_REPORT
#   shown EXPR                 a Python expression over the window's report `r`, evaluated
#   wait_shown EXPR SECONDS    waits until EXPR is True while the window runs
#   click NAME                 a real mouse click on the named button or combo box
#   window_x_id                the X window that shows the program's window (empty if none)
#   window_close SECONDS       Alt+F4 on the window; true when the program ended in time
#   window_stop                kills this run's window program if it still runs
#   window_display_stop        that, and ends the display
# The report is what the window shows (TERMLOAD_WINDOW_REPORT, see src/app/window_report.h).
# Every X client step has a deadline; a run signals only the window program it started.

WINDOW_PID=""
WINDOW_PROGRAM=termload.exe
_window_xvfb_pid=""

window_display_start() {
  local dir=$1
  # Xvfb picks a free display itself and names it: two runs at once never take the same one.
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/xvfb.display" >"$dir/xvfb.log" 2>&1 &
  _window_xvfb_pid=$!
  local number=""
  for _ in $(seq 100); do
    number=$(head -n 1 "$dir/xvfb.display" 2>/dev/null)
    [ -n "$number" ] && break
    kill -0 "$_window_xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ -z "$number" ]; then
    echo "wine-window: Xvfb did not start" >&2
    cat "$dir/xvfb.log" >&2
    return 1
  fi
  export DISPLAY=":$number"
}

window_start() {
  local log=$1
  shift
  WINDOW_REPORT=${WINDOW_REPORT:-$(mktemp -u /tmp/termload-window-XXXXXX.json)}
  WINDOW_PROGRAM=$(basename "$1")
  rm -f "$WINDOW_REPORT"
  TERMLOAD_WINDOW_REPORT=$(timeout 60 winepath -w "$WINDOW_REPORT" 2>/dev/null) wine_run "$@" >"$log" 2>&1 &
  WINDOW_PID=$!
}

shown() {
  python3 -c 'import json,sys; r=json.load(open(sys.argv[1])); print(eval(sys.argv[2]))' \
    "$WINDOW_REPORT" "$1" 2>/dev/null
}

# The program, started by Wine: the launcher hands it on to a process of its own and may end first.
window_running() {
  kill -0 "$WINDOW_PID" 2>/dev/null || [ -n "$(wine_run_pids "$WINDOW_PROGRAM")" ]
}

wait_shown() {
  local deadline=$((SECONDS + $2))
  while [ $SECONDS -lt "$deadline" ]; do
    [ "$(shown "$1")" = True ] && return 0
    window_running || return 1
    sleep 0.3
  done
  return 1
}

# A move to where the pointer already is never reports done: --sync would wait out its 15 s.
click() {
  local x y X="" Y=""
  x=$(shown "r['buttons']['$1']['x']") && y=$(shown "r['buttons']['$1']['y']") || return 1
  [ -n "$x" ] && [ -n "$y" ] || return 1
  eval "$(timeout 10 xdotool getmouselocation --shell 2>/dev/null | grep -E '^[XY]=[0-9]+$')"
  if [ "$X" != "$x" ] || [ "$Y" != "$y" ]; then
    timeout 10 xdotool mousemove --sync "$x" "$y" || return 1
  fi
  timeout 10 xdotool click 1
}

window_x_id() {
  local title
  title=$(shown "r['title']")
  [ -n "$title" ] || return 0
  timeout 10 xdotool search --name "$title" 2>/dev/null | head -n 1 || true
}

# The display has no window manager: the window gets the focus by its id, then Alt+F4 (again
# every two seconds: a window that has just shown may not take the keys yet).
window_close() {
  local id tick
  for ((tick = 0; tick < $1 * 10; ++tick)); do
    if ! window_running; then
      local code=0
      wait "$WINDOW_PID" || code=$?
      WINDOW_PID=""
      return $code
    fi
    if ((tick % 20 == 0)); then
      id=$(window_x_id)
      [ -n "$id" ] && timeout 10 xdotool windowfocus --sync "$id" key alt+F4
    fi
    sleep 0.1
  done
  return 1
}

window_stop() {
  if [ -n "$WINDOW_PID" ]; then
    wine_run_signal KILL "$WINDOW_PROGRAM" || true
    kill -KILL "$WINDOW_PID" 2>/dev/null || true
    wait "$WINDOW_PID" 2>/dev/null || true
    WINDOW_PID=""
  fi
}

window_display_stop() {
  window_stop
  if [ -n "$_window_xvfb_pid" ]; then
    kill "$_window_xvfb_pid" 2>/dev/null || true
    wait "$_window_xvfb_pid" 2>/dev/null || true
    _window_xvfb_pid=""
  fi
}
