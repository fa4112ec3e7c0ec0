#!/bin/sh
# Start-up cost by step, against an older client. Builds the Win32 client of BASE_COMMIT (default
# 6e19fca) once, in a worktree of its own under BUILD_DIR/startup-base, then starts this client
# and that one RUNS times each (default 7), interleaved, each from a copy of its own program
# folder, with the stand-in framework playing "page loaded, close". Prints, per step of the start
# (APPFRAME_STARTUP_STEPS makes a client log them; an older client may not), the median time and
# the median working set after it; then the median InitTime and peak working set of both clients
# and their ratio.
# The machines here are noisy: read the ratio, not the milliseconds.
# usage: [SAME_STANDINS=1] bench/startup_steps.sh [BASE_COMMIT] [RUNS] [BUILD_DIR]
#        (BUILD_DIR default build/win32, already built)
set -e
cd "$(dirname "$0")/.."
base="${1:-6e19fca}"
runs="${2:-7}"
build="${3:-build/win32}"
[ -f "$build/program/AppFrameMain.exe" ] || { echo "build the Win32 client first ($build/program)"; exit 1; }
root="$PWD"
prefix="$root/$build/wineprefix"

# The older client, built once per commit.
basedir="$root/$build/startup-base/$(git rev-parse --short "$base")"
if [ ! -f "$basedir/build/program/AppFrameMain.exe" ]; then
  echo "building the client of $base (once) ..."
  rm -rf "$basedir"
  mkdir -p "$(dirname "$basedir")"
  git worktree prune
  git worktree add --detach "$basedir/src" "$base" >/dev/null 2>&1
  cmake -S "$basedir/src" -B "$basedir/build" -DCMAKE_TOOLCHAIN_FILE="$basedir/src/cmake/mingw-i686.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DAPPFRAME_BENCH=OFF >/dev/null
  cmake --build "$basedir/build" -j2 --target AppFrameMain appframe_stubs >/dev/null
fi

tools/wine-prefix.sh start "$prefix" >/dev/null
work="$(mktemp -d)"
trap 'rm -rf "$work"; tools/wine-prefix.sh stop "$prefix" >/dev/null' EXIT
cp -r "$build/program" "$work/new"
cp -r "$basedir/build/program" "$work/old"
# SAME_STANDINS=1: this client too runs with the older build's stand-in libraries, so that only
# the clients differ.
if [ "${SAME_STANDINS:-0}" = 1 ]; then
  for dll in "$work/old"/*.dll; do cp "$dll" "$work/new/"; done
fi
cat > "$work/scenario.json" <<'JSON'
{"steps": [{"do": "event", "type": 3}, {"do": "close"}]}
JSON
echo '{}' > "$work/params.json"
export APPFRAME_STUB_SCENARIO="Z:$work/scenario.json" APPFRAME_STUB_PARAMS="Z:$work/params.json"
export APPFRAME_STUB_TRANSCRIPT="Z:$work/transcript.jsonl"

median() { sort -n | awk '{v[NR]=$1} END {if (NR == 0) print "n/a"; else if (NR % 2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'; }

# run LABEL: one start of that client; its end line and step lines go to $work/LABEL.*
run() {
  rm -f "$work/$1"/Temp/AppFrame_*.log
  APPFRAME_STARTUP_STEPS=1 tools/wine-run.sh "$prefix" "$work/$1/AppFrameMain.exe" >/dev/null 2>&1 || true
  log=$(cat "$work/$1"/Temp/AppFrame_*.log 2>/dev/null | tr -d '\r')
  echo "$log" | grep -a 'AppFrameMain: end' | tail -n 1 | sed 's/.*InitTime=\([0-9]*\).*/\1/' >> "$work/$1.init"
  echo "$log" | grep -a 'AppFrameMain: end' | tail -n 1 | sed 's/.*PeakWorkingSetSize=\([0-9]*\).*/\1/' >> "$work/$1.peak"
  echo "$log" | grep -a 'AppFrameMain: start-up step ' | sed 's/.*start-up step //' >> "$work/$1.steps"
}

i=1
while [ "$i" -le "$runs" ]; do
  run new
  run old
  echo "run $i of $runs: InitTime $(tail -n 1 "$work/new.init") ms (this) / $(tail -n 1 "$work/old.init") ms ($base)"
  i=$((i + 1))
done

echo
echo "by step (median of $runs): time and working set after the step, this client | $base (when it logs steps)"
cat "$work/new.steps" "$work/old.steps" | awk '{print $1}' | awk '!seen[$0]++' > "$work/names"
cell() { # cell LABEL NAME: "time ms  working set MiB" of that step, or blanks
  us=$(awk -v n="$2" '$1 == n {print $2}' "$work/$1.steps" | median)
  ws=$(awk -v n="$2" '$1 == n {print $6}' "$work/$1.steps" | median)
  if [ "$us" = "n/a" ]; then printf '%22s' '-'; else
    printf '%9.2f ms %7.1f MiB' "$(echo "$us" | awk '{print $1 / 1000}')" "$(echo "$ws" | awk '{print $1 / 1048576}')"; fi
}
while read -r name; do
  printf '  %-28s %s | %s\n' "$name" "$(cell new "$name")" "$(cell old "$name")"
done < "$work/names"

ni=$(median < "$work/new.init"); oi=$(median < "$work/old.init")
np=$(median < "$work/new.peak"); op=$(median < "$work/old.peak")
echo
echo "InitTime median: $ni ms (this), $oi ms ($base), ratio $(awk -v a="$ni" -v b="$oi" 'BEGIN {printf "%.2f", (b > 0 ? a / b : 0)}')"
echo "peak working set median: $(awk -v a="$np" 'BEGIN {printf "%.1f", a / 1048576}') MiB (this)," \
  "$(awk -v a="$op" 'BEGIN {printf "%.1f", a / 1048576}') MiB ($base)," \
  "difference $(awk -v a="$np" -v b="$op" 'BEGIN {printf "%+.1f", (a - b) / 1048576}') MiB"
