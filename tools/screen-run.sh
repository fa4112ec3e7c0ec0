#!/bin/sh
# Runs a Win32 program under Wine's normal display driver on a private X server (Xvfb, 1280 x 800,
# 24 bits), for tests that look at windows. PREFIX is a Wine prefix of its own: the other tests'
# prefix uses the null driver. Its server and the X server end with the program.
# usage: screen-run.sh PREFIX PROGRAM [ARGS...]
set -e
prefix="$1"; shift
here="$(cd "$(dirname "$0")" && pwd)"
command -v Xvfb >/dev/null 2>&1 || { echo "screen-run.sh: Xvfb is not installed" >&2; exit 1; }
displayfile="$(mktemp)"
# Xvfb picks a free display itself and writes its number to the file.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$displayfile" >/dev/null 2>&1 &
xserver=$!
stop() {
  WINEPREFIX="$prefix" wineserver -k >/dev/null 2>&1 || true
  rm -f "$prefix/.appframe-running"
  kill "$xserver" 2>/dev/null || true
  wait "$xserver" 2>/dev/null || true
  rm -f "$displayfile"
}
trap stop EXIT
tries=0
until [ -s "$displayfile" ]; do
  tries=$((tries + 1))
  [ $tries -le 100 ] || { echo "screen-run.sh: Xvfb did not start" >&2; exit 1; }
  sleep 0.1
done
export DISPLAY=":$(head -n 1 "$displayfile")"
APPFRAME_WINE_GRAPHICS=x11 "$here/wine-prefix.sh" start "$prefix"
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export LC_ALL="${APPFRAME_LC_ALL:-zh_CN.UTF-8}"
wine "$@"
