# shellcheck shell=bash
# Driving the Windows window under Wine on a virtual display, as an operator would. A bash library
# for scripts that have called wine_env_init (scripts/wine-env.sh):
#   window_display_start DIR   an Xvfb display of its own (DISPLAY set; its log in DIR)
#   window_start LOG EXE ARGS  starts the window program with its report in $WINDOW_REPORT
#   shown EXPR                 a Python expression over the window's report `r`, evaluated
#   wait_shown EXPR SECONDS    waits until EXPR is True while the window runs
#   click NAME                 a real mouse click on the named button or combo box
#   window_close SECONDS       Alt+F4 on the window; true when the program ended in time
#   window_stop                kills the window program if it still runs
#   window_display_stop        that, and ends the display
# The report is what the window shows (TERMLOAD_WINDOW_REPORT, see src/app/window_report.h).

WINDOW_PID=""
_window_xvfb_pid=""

window_display_start() {
  local log=$1/xvfb.log display=90
  while [ -e "/tmp/.X11-unix/X$display" ] || [ -e "/tmp/.X$display-lock" ]; do display=$((display + 1)); done
  Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp >"$log" 2>&1 &
  _window_xvfb_pid=$!
  export DISPLAY=":$display"
  for _ in $(seq 100); do [ -e "/tmp/.X11-unix/X$display" ] && return 0; sleep 0.1; done
  echo "wine-window: Xvfb did not start" >&2
  cat "$log" >&2
  return 1
}

window_start() {
  local log=$1
  shift
  WINDOW_REPORT=${WINDOW_REPORT:-$(mktemp -u /tmp/termload-window-XXXXXX.json)}
  rm -f "$WINDOW_REPORT"
  TERMLOAD_WINDOW_REPORT=$(winepath -w "$WINDOW_REPORT" 2>/dev/null) wine_run "$@" >"$log" 2>&1 &
  WINDOW_PID=$!
}

shown() {
  python3 -c 'import json,sys; r=json.load(open(sys.argv[1])); print(eval(sys.argv[2]))' \
    "$WINDOW_REPORT" "$1" 2>/dev/null
}

# The program, started by Wine: the launcher may hand it on and end first.
window_running() {
  pgrep -x termload.exe >/dev/null || kill -0 "$WINDOW_PID" 2>/dev/null
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

click() {
  local x y
  x=$(shown "r['buttons']['$1']['x']") && y=$(shown "r['buttons']['$1']['y']") || return 1
  xdotool mousemove --sync "$x" "$y" click 1
}

# The X window that shows the program's window, found by its title.
window_x_id() {
  xdotool search --name "$(shown "r['title']")" 2>/dev/null | head -n 1 || true
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
      [ -n "$id" ] && xdotool windowfocus --sync "$id" key alt+F4
    fi
    sleep 0.1
  done
  return 1
}

window_stop() {
  if [ -n "$WINDOW_PID" ]; then
    pkill -KILL -x termload.exe || true
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
