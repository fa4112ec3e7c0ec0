#!/bin/sh
# Prints the path of a Free Pascal cross compiler for 32-bit Windows (i386-win32), building it and
# its run-time library once from the installed Free Pascal sources (Debian's fpc-3.2.2 and
# fpc-source-3.2.2, which tools/install-deps.sh installs) and caching both under
# BUILD_DIR/fpc-win32. Exits non-zero, with the tail of the build log on stderr, when that fails.
#
#   fpc=$(tools/fpc-win32.sh BUILD_DIR)
#   "$fpc" -n -Twin32 -Pi386 -Fu"$(dirname "$fpc")/fpcsrc/rtl/units/i386-win32" library.lpr
#
# The build runs in a folder of its own that becomes the cache only when complete, so a run that
# was interrupted leaves nothing half-made behind and the next run starts afresh.
set -e

if [ $# -ne 1 ]; then
  echo "usage: $0 BUILD_DIR" >&2
  exit 2
fi

version=3.2.2
sources=/usr/share/fpcsrc/$version
messages=/usr/lib/x86_64-linux-gnu/fpc/$version/msg/errore.msg

mkdir -p "$1"
build_dir=$(cd "$1" && pwd)
cache=$build_dir/fpc-win32
compiler=$cache/ppcross386

if [ -f "$cache/complete" ] && [ -x "$compiler" ]; then
  echo "$compiler"
  exit 0
fi

for tool in ppcx64 fpcmake make; do
  if ! command -v $tool >/dev/null 2>&1; then
    echo "$0: $tool is missing (run tools/install-deps.sh)" >&2
    exit 1
  fi
done
if [ ! -d "$sources/compiler" ] || [ ! -d "$sources/rtl" ] || [ ! -f "$messages" ]; then
  echo "$0: Free Pascal $version sources or messages are missing (run tools/install-deps.sh)" >&2
  exit 1
fi

work=$(mktemp -d "$build_dir/fpc-win32.work.XXXXXX")
log=$work/build.log
trap 'rm -rf "$work"' EXIT
trap 'exit 1' INT TERM

# Every step is chained: "set -e" does not apply inside a tested command.
build() {
  d=$1
  mkdir -p "$d/fpcsrc" "$d/units" &&
    cp -r "$sources/compiler" "$sources/rtl" "$d/fpcsrc/" &&
    mkdir -p "$d/fpcsrc/compiler/msg" &&
    cp "$messages" "$d/fpcsrc/compiler/msg/" &&
    cd "$d/fpcsrc/compiler" &&
    (cd utils && ppcx64 -FU"$d/units" -o"$d/msg2inc" msg2inc.pp) &&
    "$d/msg2inc" -E msg/errore.msg msg msg &&
    ppcx64 -di386 -Fui386 -Fusystems -Fux86 -Fii386 -Fix86 -Fi. -FU"$d/units" -o"$d/ppcross386" -O2 -Sg pp.pas &&
    cd ../rtl &&
    fpcmake -Tall -r &&
    printf 'CPU_UNITS=cpu mmx\n' > i386/makefile.cpu &&
    make -C win32 FPC="$d/ppcross386" OS_TARGET=win32 CPU_TARGET=i386 OPT=-O2
}

# Nothing built refers to the folder it was built in, so the finished tree moves as a whole.
if ! (build "$work") >"$log" 2>&1; then
  echo "$0: building the i386-win32 cross compiler failed; last lines of $log:" >&2
  tail -n 30 "$log" >&2
  trap - EXIT
  exit 1
fi
rm -rf "$work/units" "$work/msg2inc"
touch "$work/complete"

# Another run may have finished first; either result serves.
if [ ! -f "$cache/complete" ]; then
  rm -rf "$cache"
  mv -T "$work" "$cache" || true
fi
if [ ! -f "$cache/complete" ] || [ ! -x "$compiler" ]; then
  echo "$0: the finished compiler could not be put in place at $cache" >&2
  exit 1
fi
echo "$compiler"
