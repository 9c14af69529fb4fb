#!/usr/bin/env bash
# The Windows installer under Wine: scripts/wine-installer.sh INSTALLER
#  1. installed silently (/S) into Program Files\Termload, with its Start-menu entry, licence and
#     uninstaller;
#  2. the installed termload-cli.exe answers --version, and the installed window starts on a
#     virtual display, shows its buttons and closes on Alt+F4;
#  3. uninstalled silently, nothing of it is left: no folder, no Start-menu entry, no entry in
#     the system's list of programs.
# Ends with PASS and exit 0 only when all of it held.
set -euo pipefail
cd "$(dirname "$0")/.."
[ $# -eq 1 ] && [ -f "$1" ] || { echo "usage: $0 INSTALLER" >&2; exit 2; }
installer=$(realpath "$1")

# shellcheck source=scripts/wine-env.sh
source scripts/wine-env.sh
# shellcheck source=scripts/wine-window.sh
source scripts/wine-window.sh
work=$(mktemp -d)
cleanup() { window_display_stop; rm -rf "$work"; }
trap cleanup EXIT
failures=0
fail() { echo "wine-installer: FAIL: $*"; failures=$((failures + 1)); }
# The display first: the prefix's desktop, the installer's windows too, draw on the display its
# server started with.
window_display_start "$work"
wine_env_init x64

folder="$WINEPREFIX/drive_c/Program Files/Termload"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Termload"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Termload'
version=$(sed -n 's/^project(termload VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

echo "== 1. silent install of $(basename "$installer")"
rm -rf "$folder" "$menu"
timeout 300 wine "$installer" /S >>"$WINEPREFIX.log" 2>&1 || fail "the installer ended with an error"
for file in bin/termload.exe bin/termload-cli.exe bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll \
            bin/platforms/qwindows.dll LICENSE.txt Uninstall.exe; do
  [ -f "$folder/$file" ] || fail "not installed: $file"
done
[ -f "$menu/Termload.lnk" ] || fail "no Start-menu entry ($menu/Termload.lnk)"
timeout 60 wine reg query "$uninstall_key" >/dev/null 2>&1 || fail "not in the list of programs ($uninstall_key)"
echo "installed: $(cd "$folder" && find . -type f | wc -l) files, $(du -sh "$folder" | cut -f1)"

echo "== 2. the installed programs"
answer=$(wine_run_within 60 "$folder/bin/termload-cli.exe" --version 2>/dev/null | tr -d '\r')
[ "$answer" = "termload-cli $version" ] || fail "termload-cli.exe --version answered '$answer'"
answer=$(wine_run_within 60 "$folder/bin/termload.exe" --version 2>/dev/null | tr -d '\r')
[ "$answer" = "termload $version" ] || fail "termload.exe --version answered '$answer'"
WINDOW_REPORT=$work/window.json
window_start "$work/window.log" "$folder/bin/termload.exe"
if wait_shown "'btnDown' in r['buttons']" 60; then
  echo "the installed window shows: $(shown "r['title']"), $(shown "len(r['buttons'])") buttons"
  window_close 20 || fail "the installed window did not close on Alt+F4"
else
  fail "the installed window did not show"; cat "$work/window.log"
fi
window_stop

echo "== 3. silent uninstall"
# The uninstaller copies itself away and returns at once: its work is awaited.
timeout 300 wine "$folder/Uninstall.exe" /S >>"$WINEPREFIX.log" 2>&1 || fail "the uninstaller ended with an error"
for _ in $(seq 600); do [ -e "$folder" ] || break; sleep 0.1; done
[ ! -e "$folder" ] || fail "left behind: $(cd "$folder" && find . | head -5 | tr '\n' ' ')"
[ ! -e "$menu" ] || fail "the Start-menu entry is left"
! timeout 60 wine reg query "$uninstall_key" >/dev/null 2>&1 || fail "still in the list of programs"

if [ "$failures" -eq 0 ]; then
  echo "PASS: the Windows installer under Wine"
  exit 0
fi
echo "FAIL: $failures check(s) failed"
exit 1
