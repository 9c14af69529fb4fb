# shellcheck shell=bash
# A Wine prefix for running the Windows test builds, with COM ports the tests point at ptys.
# A bash library: `source scripts/wine-env.sh`, then
#   wine_env_init ARCH      x64 | x86: the prefix, its COM ports and the modem shim, ready to use
#   wine_point_com K DEVICE COMk becomes DEVICE (a pty), checked
#   wine_run EXE ARGS...    EXE under Wine with the shim, its exit code passed through
#   wine_run_within SECONDS EXE ARGS...  the same, ended (exit 124) when it runs longer
#   wine_run_pids NAME      the PIDs of this run's Wine programs called NAME (as ps shows it)
#   wine_run_signal SIG NAME  sends SIG to them; false when there is none
#
# Every Wine process a run starts carries the run's tag (TERMLOAD_WINE_RUN, inherited by the
# scripts and programs the run starts) in its environment: a run signals and counts its own
# programs only, never another run's of the same name in another prefix or on another display.
# A run with a display (DISPLAY set) gets a prefix whose desktop draws on that display: a server
# of the prefix that was started without it, or with another, is ended first.
#
# COM1..COM27 of the prefix are the links $WINE_PORT_LINKS/com1..com27. Wine's own mapping would
# put COM1 on /dev/ttyS0, which is real hardware on a bench machine: the links never fall back to
# it and point at a path that does not exist until wine_point_com points them at a test's pty.
#
# Settings: TERMLOAD_WINE_HOME (default ~/.cache/termload) holds the prefixes wine-x64, wine-x86;
# TERMLOAD_WINE_PREFIX names another prefix directory instead. Logs go to $WINEPREFIX.log.

_wine_env_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
WINE_COM_COUNT=27

_wine_env_fail() {
    echo "wine-env: $*" >&2
    return 1
}

# The shim for one loader: $1 is the host gcc's -m flag (64 | 32), $2 the libc it links against.
# Rebuilt when the source is newer. The directory layout lets ld.so's $LIB pick the right one.
_wine_env_build_shim() {
    local bits=$1 libc=$2 dir=$3
    local out="$dir/ptymodem.so" source="$_wine_env_dir/ptymodem.c"
    [[ -f $out && $out -nt $source ]] && return 0
    [[ -f $libc ]] || _wine_env_fail "no $bits-bit C library at $libc (needed for the modem shim)" || return 1
    mkdir -p "$dir" || return 1
    gcc -m"$bits" -O2 -fPIC -shared -nostdlib -ffreestanding -o "$out.tmp" "$source" "$libc" \
        >>"$WINEPREFIX.log" 2>&1 ||
        _wine_env_fail "building the $bits-bit modem shim failed (see $WINEPREFIX.log)" || return 1
    mv -f "$out.tmp" "$out"
}

# Runs a Wine command with its output in the log. The lock's descriptor is not handed on: the
# server a command starts outlives it and would hold the lock for its whole life.
_wine_env_logged() {
    "$@" >>"$WINEPREFIX.log" 2>&1 9>&-
}

# The .reg text that maps COM1..COM27 to the links.
_wine_env_ports_reg() {
    local k
    printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n'
    for ((k = 1; k <= WINE_COM_COUNT; ++k)); do
        printf '"COM%d"="%s"\n' "$k" "$WINE_PORT_LINKS/com$k"
    done
}

# The value of variable $2 in the environment of process $1 (empty when it has none).
_wine_env_of() {
    { tr '\0' '\n' <"/proc/$1/environ"; } 2>/dev/null | sed -n "s/^$2=//p" | head -n 1
}

# The PIDs of the processes called $1 whose environment sets $2 to $3.
_wine_env_pids_with() {
    local dir
    for dir in /proc/[0-9]*; do
        [[ $(cat "$dir/comm" 2>/dev/null) == "$1" ]] || continue
        [[ $(_wine_env_of "${dir#/proc/}" "$2") == "$3" ]] && echo "${dir#/proc/}"
    done
    return 0
}

# The prefix's desktop (explorer.exe) draws on the display it was started with: when that is not
# this run's, the prefix's server and everything of it are ended, and the next command starts them
# again on this display.
_wine_env_restart_for_display() {
    [[ -n ${DISPLAY:-} ]] || return 0
    local pid
    for pid in $(_wine_env_pids_with explorer.exe WINEPREFIX "$WINEPREFIX"); do
        if [[ $(_wine_env_of "$pid" DISPLAY) != "$DISPLAY" ]]; then
            echo "wine-env: restarting the server of $WINEPREFIX on display $DISPLAY" >>"$WINEPREFIX.log"
            _wine_env_logged wineserver -k || true
            _wine_env_logged timeout 120 wineserver -w || true
            return 0
        fi
    done
}

wine_env_init() {
    local arch=$1
    case $arch in
        x64) export WINEARCH=win64 ;;
        x86) export WINEARCH=win32 ;;
        *) _wine_env_fail "wine_env_init: architecture must be x64 or x86, not '${arch}'"; return 1 ;;
    esac
    local tool
    for tool in wine wineserver gcc flock; do
        command -v "$tool" >/dev/null ||
            _wine_env_fail "'$tool' is not installed (the Windows tests need wine, wine64, wine32:i386 and gcc)" ||
            return 1
    done
    export WINEPREFIX="${TERMLOAD_WINE_PREFIX:-${TERMLOAD_WINE_HOME:-$HOME/.cache/termload}/wine-$arch}"
    export TERMLOAD_WINE_RUN=${TERMLOAD_WINE_RUN:-$$.$(date +%s%N)}
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export WINE_PORT_LINKS="$WINEPREFIX/termload-ports"
    WINE_SHIM_DIR="$WINEPREFIX/termload-shim"
    mkdir -p "$(dirname "$WINEPREFIX")" || return 1

    # One initialisation at a time per prefix; the others wait and then find it done.
    (
        flock 9 || exit 1
        _wine_env_build_shim 64 /lib/x86_64-linux-gnu/libc.so.6 "$WINE_SHIM_DIR/lib/x86_64-linux-gnu" ||
            exit 1
        if [[ $arch == x86 ]] || [[ -f /usr/lib/i386-linux-gnu/libc.so.6 ]]; then
            _wine_env_build_shim 32 /usr/lib/i386-linux-gnu/libc.so.6 "$WINE_SHIM_DIR/lib/i386-linux-gnu" ||
                exit 1
        fi

        # Links first, pointing nowhere, so that no port of the prefix ever names a real device.
        mkdir -p "$WINE_PORT_LINKS" || exit 1
        local k
        for ((k = 1; k <= WINE_COM_COUNT; ++k)); do
            ln -sfn "$WINE_PORT_LINKS/unassigned/com$k" "$WINE_PORT_LINKS/com$k" || exit 1
        done

        if [[ ! -f $WINEPREFIX/system.reg ]]; then
            echo "wine-env: creating the $WINEARCH prefix $WINEPREFIX (takes a minute once)" >&2
            _wine_env_logged timeout 600 wineboot -i ||
                { echo "wine-env: wineboot failed (see $WINEPREFIX.log)" >&2; exit 1; }
            _wine_env_logged timeout 120 wineserver -w || true
        fi

        local wanted="$WINEPREFIX/termload-ports.reg"
        if ! cmp -s <(_wine_env_ports_reg) "$wanted"; then
            _wine_env_ports_reg >"$wanted.tmp" || exit 1
            _wine_env_logged timeout 120 wine regedit /S "$(timeout 60 winepath -w "$wanted.tmp" 2>/dev/null 9>&-)" ||
                { echo "wine-env: setting the COM ports failed (see $WINEPREFIX.log)" >&2; exit 1; }
            # The ports are read when the server starts.
            _wine_env_logged wineserver -k || true
            _wine_env_logged timeout 120 wineserver -w || true
            mv -f "$wanted.tmp" "$wanted"
        fi
        # A server that stays up a while after its last client, warmed up: otherwise every run
        # pays its start and holds its output pipe for seconds.
        _wine_env_restart_for_display
        _wine_env_logged wineserver -p"${TERMLOAD_WINE_PERSIST:-300}" || true
        _wine_env_logged timeout 120 wine cmd /c exit ||
            { echo "wine-env: Wine does not start in $WINEPREFIX (see $WINEPREFIX.log)" >&2; exit 1; }
        # Wine gives the machine's own serial ports the numbers after these (COM28 may be
        # /dev/ttyS0): those names are pointed nowhere as well.
        local name
        for name in "$WINEPREFIX"/dosdevices/com*; do
            k=${name##*/com}
            if [[ -L $name && $k =~ ^[0-9]+$ ]] && ((k > WINE_COM_COUNT)); then
                ln -sfn "$WINE_PORT_LINKS/unassigned/com$k" "$name" || exit 1
            fi
        done
        for ((k = 1; k <= WINE_COM_COUNT; ++k)); do
            if [[ $(readlink "$WINEPREFIX/dosdevices/com$k") != "$WINE_PORT_LINKS/com$k" ]]; then
                echo "wine-env: $WINEPREFIX/dosdevices/com$k is not $WINE_PORT_LINKS/com$k" >&2
                exit 1
            fi
        done
    ) 9>"$WINEPREFIX.lock"
}

wine_point_com() {
    local k=$1 device=$2
    [[ -n ${WINE_PORT_LINKS:-} ]] || _wine_env_fail "wine_point_com: call wine_env_init first" || return 1
    [[ $k =~ ^[0-9]+$ ]] && ((k >= 1 && k <= WINE_COM_COUNT)) ||
        _wine_env_fail "wine_point_com: COM number must be 1 to $WINE_COM_COUNT, not '$k'" || return 1
    [[ -n $device ]] || _wine_env_fail "wine_point_com: no device for COM$k" || return 1
    ln -sfn "$device" "$WINE_PORT_LINKS/com$k" || _wine_env_fail "cannot point COM$k at $device" || return 1
    local target
    target=$(readlink "$WINEPREFIX/dosdevices/com$k")
    if [[ $target != "$WINE_PORT_LINKS/com$k" ]]; then
        _wine_env_fail "COM$k of $WINEPREFIX is '$target', not $WINE_PORT_LINKS/com$k: refusing to run"
        return 1
    fi
}

wine_run() {
    [[ -n ${WINE_SHIM_DIR:-} ]] || _wine_env_fail "wine_run: call wine_env_init first" || return 1
    # $LIB is expanded by ld.so, not here: each loader (64- or 32-bit) takes its own shim.
    LD_PRELOAD="$WINE_SHIM_DIR/\$LIB/ptymodem.so${LD_PRELOAD:+ $LD_PRELOAD}" \
        PTYMODEM_STATE="$WINEPREFIX/termload-modem-lines" \
        ${_wine_run_deadline:+timeout --kill-after=10 "$_wine_run_deadline"} wine "$@"
}

wine_run_within() {
    local _wine_run_deadline=$1
    shift
    wine_run "$@"
}

wine_run_pids() {
    [[ -n ${TERMLOAD_WINE_RUN:-} ]] || _wine_env_fail "wine_run_pids: call wine_env_init first" || return 1
    _wine_env_pids_with "$1" TERMLOAD_WINE_RUN "$TERMLOAD_WINE_RUN"
}

wine_run_signal() {
    local pids
    pids=$(wine_run_pids "$2") || return 1
    [[ -n $pids ]] || return 1
    # shellcheck disable=SC2086 # one PID a word
    kill -s "$1" $pids 2>/dev/null
}
