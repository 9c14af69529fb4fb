#!/usr/bin/env bash
# Runs the Windows termload-cli under Wine as if it ran on a PC whose COM ports are the devices
# of a port map: scripts/wine-cli.sh ARCH EXE ARGS... with "--ports-map FILE" among ARGS. Each
# "COMn=DEVICE" of the map becomes Wine's COMn (checked, never Wine's default mapping); the map
# option itself is left out, so the program opens \\.\COMn as it would on Windows.
# ARCH "native" runs EXE (a Linux build) directly with the same working directory and trace
# handling, for a side-by-side comparison.
# TERMLOAD_WINE_WORKDIR: the directory to run in (where the program writes LOG.txt).
# TERMLOAD_WINE_TRACE=1: turns the trace on in the run's configuration first.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
arch=$1
exe=$(realpath "$2")
shift 2
args=()
map=""
config=""
while [ $# -gt 0 ]; do
  case $1 in
    --ports-map) map=$2; shift 2 ;;
    --config) config=$2; args+=("$1" "$2"); shift 2 ;;
    *) args+=("$1"); shift ;;
  esac
done
if [ "${TERMLOAD_WINE_TRACE:-0}" = 1 ] && [ -n "$config" ]; then
  sed -i 's/^TraceLog=0/TraceLog=1/' "$config"
fi
if [ "$arch" = native ]; then
  cd "${TERMLOAD_WINE_WORKDIR:-.}"
  exec "$exe" "${args[@]}" ${map:+--ports-map "$map"}
fi
if [ -z "$map" ]; then
  echo "wine-cli: no --ports-map: refusing to run on Wine's default COM ports" >&2
  exit 2
fi
# shellcheck source=scripts/wine-env.sh
source "$here/wine-env.sh"
wine_env_init "$arch"
while IFS='=' read -r key device; do
  key=${key%$'\r'}; device=${device%$'\r'}
  if [[ $key =~ ^[Cc][Oo][Mm]([0-9]+)$ ]]; then
    wine_point_com "${BASH_REMATCH[1]}" "$device"
  fi
done < "$map"
cd "${TERMLOAD_WINE_WORKDIR:-.}"
wine_run "$exe" "${args[@]}"
