#!/bin/sh
# Owns the build's private Wine prefix (never the user's ~/.wine).
#   start PREFIX   create the prefix once (null graphics driver, or Wine's normal one when
#                  APPFRAME_WINE_GRAPHICS=x11 and a DISPLAY is set), then start a persistent
#                  wineserver and Wine's own background processes; the test run's set-up step
#   ensure PREFIX  start, unless the prefix's server is already up
#   stop PREFIX    stop the prefix's wineserver and everything running in it
#
# Emulated drives for the device tests: folders beside the prefix (PREFIX/../devices/<letter>)
# mapped to drive letters with their types; tests lay out each drive's contents themselves.
#   A: removable (never to be examined), M: and N: removable, O: CD-ROM, P: fixed disk.
# A drive's type is read when the prefix's server starts, so they are laid out before it does.
set -e
cmd="$1"; prefix="$2"
[ -n "$prefix" ] || { echo "usage: $0 start|ensure|stop PREFIX" >&2; exit 2; }
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export LC_ALL="${APPFRAME_LC_ALL:-zh_CN.UTF-8}"
export WINEDLLOVERRIDES="mscoree,mshtml="

# Everything started here outlives this script, so none of it may keep the caller's pipes open
# (CTest waits for them to close).
start() {
  mkdir -p "$prefix"
  (
    flock 9
    if [ ! -f "$prefix/.appframe-ready" ]; then
      wineboot -i </dev/null >/dev/null 2>&1 9>&- || true
      if [ "$APPFRAME_WINE_GRAPHICS" != x11 ]; then
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1 9>&-
      fi
      wineserver -w 9>&-
      touch "$prefix/.appframe-ready"
    fi
    if [ ! -f "$prefix/.appframe-drives" ]; then
      devices="$(dirname "$prefix")/devices"
      reg="$prefix/appframe-drives.reg"
      printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]\n' >"$reg"
      for d in a:floppy m:floppy n:floppy o:cdrom p:hd; do
        letter="${d%%:*}"; type="${d#*:}"
        mkdir -p "$devices/$letter"
        ln -sfn "$devices/$letter" "$prefix/dosdevices/$letter:"
        printf '"%s:"="%s"\n' "$letter" "$type" >>"$reg"
      done
      wine regedit /S "$(winepath -w "$reg" 2>/dev/null)" </dev/null >/dev/null 2>&1 9>&- || true
      wineserver -w 9>&-
      touch "$prefix/.appframe-drives"
    fi
    wineserver -p </dev/null >/dev/null 2>&1 9>&- || true
    # Wine's service processes start with the first program; start them here, detached.
    wine cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true
    touch "$prefix/.appframe-running"
  ) 9>"$prefix.lock"
}

case "$cmd" in
  start) start ;;
  ensure)
    # "wineserver -p" fails when a server already runs for the prefix; when it succeeds the
    # server had gone, and Wine's service processes with it.
    if [ ! -f "$prefix/.appframe-running" ] || wineserver -p </dev/null >/dev/null 2>&1; then
      start
    fi
    ;;
  stop)
    [ -d "$prefix" ] && wineserver -k >/dev/null 2>&1 || true
    rm -f "$prefix/.appframe-running"
    ;;
  *) echo "usage: $0 start|ensure|stop PREFIX" >&2; exit 2 ;;
esac
