#!/bin/sh
# Start-up figures of the Win32 client under Wine with the stand-in libraries: starts the client
# RUNS times (default 10) from its program folder, each time with a page session that asks
# "sys.Status" for "InitTime" and then closes the main window, and reports the median InitTime
# (milliseconds from the start tick to the message loop, as the page receives it) and the median
# peak working set the client logs at its end. The same runs are then made with "runmode=qnb", in
# which the client looks for the tax device at start-up (the emulated drives of the prefix are
# empty: the common machine without a device), and the difference of the medians is what the
# device search adds.
# usage: bench/init_time.sh [BUILD_DIR] [RUNS]     (BUILD_DIR default build/win32, already built)
set -e
cd "$(dirname "$0")/.."
build="${1:-build/win32}"
runs="${2:-10}"
program="$PWD/$build/program"
[ -f "$program/AppFrameMain.exe" ] || { echo "build the Win32 client first ($program/AppFrameMain.exe)"; exit 1; }
prefix="$PWD/$build/wineprefix"
tools/wine-prefix.sh start "$prefix" >/dev/null
trap 'tools/wine-prefix.sh stop "$prefix" >/dev/null' EXIT

work="$(mktemp -d)"
trap 'rm -rf "$work"; tools/wine-prefix.sh stop "$prefix" >/dev/null' EXIT
cat > "$work/scenario.json" <<'JSON'
{"steps": [
  {"do": "event", "type": 3},
  {"do": "event", "name": "sys.Status", "callerNo": 1, "paramTypes": [4], "paramValues": ["InitTime"]},
  {"after": 200, "do": "close"}
]}
JSON
echo '{}' > "$work/params.json"
export APPFRAME_STUB_SCENARIO="Z:$work/scenario.json"
export APPFRAME_STUB_PARAMS="Z:$work/params.json"

median() { sort -n | awk '{v[NR]=$1} END {if (NR == 0) print "n/a"; else if (NR % 2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'; }

measure() {
  label="$1"; shift
  : > "$work/init.txt"
  : > "$work/peak.txt"
  i=1
  while [ "$i" -le "$runs" ]; do
    rm -f "$program"/Temp/AppFrame_*.log
    export APPFRAME_STUB_TRANSCRIPT="Z:$work/transcript$i.jsonl"
    rm -f "$work/transcript$i.jsonl"
    tools/wine-run.sh "$prefix" "$program/AppFrameMain.exe" "$@" >/dev/null 2>&1 || true
    init=$(grep '"kind":"answer"' "$work/transcript$i.jsonl" 2>/dev/null | grep '"callerNo":1,' | sed 's/.*"text":"\([0-9]*\)".*/\1/')
    peak=$(cat "$program"/Temp/AppFrame_*.log 2>/dev/null | grep -a 'PeakWorkingSetSize=' | tail -n 1 | sed 's/.*PeakWorkingSetSize=\([0-9]*\).*/\1/')
    echo "$label run $i: InitTime=${init:-?} ms, PeakWorkingSetSize=${peak:-?} bytes"
    [ -n "$init" ] && echo "$init" >> "$work/init.txt"
    [ -n "$peak" ] && echo "$peak" >> "$work/peak.txt"
    i=$((i + 1))
  done
  echo "$label median InitTime: $(median < "$work/init.txt") ms over $(wc -l < "$work/init.txt") runs"
  peak=$(median < "$work/peak.txt")
  echo "$label median peak working set: $peak bytes ($(echo "$peak" | awk '{printf "%.1f", $1 / 1048576}') MiB)"
  median < "$work/init.txt" > "$work/median-$label.txt"
}

measure plain
measure qnb runmode=qnb
echo "device search at start-up (qnb - plain, no device): $(awk 'NR==FNR {a=$1; next} {printf "%.1f", $1 - a}' "$work/median-plain.txt" "$work/median-qnb.txt") ms"
