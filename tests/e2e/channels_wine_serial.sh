#!/usr/bin/env bash
# Runs the Windows serial test under Wine: COM1 and COM2 of the prefix become the two ends of a
# socat pty pair for the run, and nothing else. Usage: channels_wine_serial.sh TEST.exe x64|x86
set -euo pipefail
exe=$1
arch=$2
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=../../scripts/wine-env.sh
source "$here/../../scripts/wine-env.sh"
wine_env_init "$arch"
command -v socat >/dev/null || { echo "socat is not installed" >&2; exit 1; }

# COM1 and COM2 of the prefix are this run's until it ends: another run on the same prefix
# waits. The descriptor is not handed to Wine, whose server may outlive the run.
exec 8>"$WINEPREFIX.ports.lock"
flock -w 600 8 || { echo "the COM ports of $WINEPREFIX stay busy" >&2; exit 1; }

pair=$(mktemp -d)
socat_pid=
# shellcheck disable=SC2317  # run by the trap
cleanup() {
    set +e
    # The ports point nowhere again before the pair goes.
    wine_point_com 1 "$WINE_PORT_LINKS/unassigned/com1" || true
    wine_point_com 2 "$WINE_PORT_LINKS/unassigned/com2" || true
    if [[ -n $socat_pid ]]; then
        kill "$socat_pid" 2>/dev/null
        wait "$socat_pid" 2>/dev/null
    fi
    rm -rf "$pair"
}
trap cleanup EXIT

socat pty,raw,echo=0,link="$pair/a" pty,raw,echo=0,link="$pair/b" 2>"$pair/socat.log" 8>&- &
socat_pid=$!
for _ in $(seq 100); do
    [[ -e $pair/a && -e $pair/b ]] && break
    sleep 0.05
done
[[ -e $pair/a && -e $pair/b ]] || { echo "socat made no pty pair:" >&2; cat "$pair/socat.log" >&2; exit 1; }

wine_point_com 1 "$pair/a"
wine_point_com 2 "$pair/b"
status=0
wine_run "$exe" --gtest_color=no 8>&- || status=$?
exit "$status"
