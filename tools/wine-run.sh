#!/bin/sh
# Runs a Win32 program under the build's private Wine prefix.
# usage: wine-run.sh PREFIX PROGRAM [ARGS...]
prefix="$1"; shift
here="$(cd "$(dirname "$0")" && pwd)"
"$here/wine-prefix.sh" ensure "$prefix" || exit 1
export WINEPREFIX="$prefix"
export WINEDEBUG="${WINEDEBUG:--all}"
export LC_ALL="${APPFRAME_LC_ALL:-zh_CN.UTF-8}"
exec wine "$@"
