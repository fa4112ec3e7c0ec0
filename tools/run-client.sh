#!/bin/sh
# Builds the Win32 client and runs it under Wine on its default set-up: the program folder
# build/win32/program with the stand-in web framework and sibling libraries. The stand-in plays a
# short page session (tools/client-demo/scenario.json): the page loads, calls "sys.test",
# "sys.Enc" and "sys.Status", asks for "appKey", opens a pop-up, and the main window closes a few
# seconds later. Arguments are passed on to the client (e.g. runmode=qnb).
set -e
cd "$(dirname "$0")/.."
[ -n "$APPFRAME_BUILD_DIR" ] || tools/install-deps.sh
build="${APPFRAME_BUILD_DIR:-build/win32}"
echo "== Building the Win32 client ($build)"
cmake -S . -B $build -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build $build -j"$(nproc)"
prefix="$PWD/$build/wineprefix"
echo "== Preparing the private Wine prefix ($prefix)"
tools/wine-prefix.sh start "$prefix"
trap 'tools/wine-prefix.sh stop "$prefix"' EXIT
# The push-message library is loaded only from the Windows directory's drive + "\Corvane\ZRPNS\".
mkdir -p "$prefix/drive_c/Corvane/ZRPNS"
cp "$PWD/$build/program/ZRPNSApi.dll" "$prefix/drive_c/Corvane/ZRPNS/ZRPNSApi.dll"

program="$PWD/$build/program"
transcript="$program/transcript.jsonl"
rm -f "$transcript" "$program/AppFramework.log"
# Wine sees the Unix root as drive Z:.
export APPFRAME_STUB_SCENARIO="Z:$PWD/tools/client-demo/scenario.json"
export APPFRAME_STUB_PARAMS="Z:$PWD/tools/client-demo/params.json"
export APPFRAME_STUB_TRANSCRIPT="Z:$transcript"

echo "== Starting AppFrameMain.exe under Wine (headless)"
echo "   program folder: $program"
echo "   page session:   tools/client-demo/scenario.json (about 5 seconds)"
status=0
tools/wine-run.sh "$prefix" "$program/AppFrameMain.exe" "$@" || status=$?
echo "== The client ended with exit code $status"
echo
echo "== What the pages received (stand-in framework transcript, one JSON object per line):"
cat "$transcript" 2>/dev/null || echo "   (no transcript)"
echo
echo "== The framework's main log ($program/AppFramework.log):"
iconv -f GBK -t UTF-8 "$program/AppFramework.log" 2>/dev/null | tail -n 40 || true
echo
echo "== The client's daily log ($program/Temp/):"
for f in "$program"/Temp/AppFrame_*.log; do
  [ -f "$f" ] && iconv -f GBK -t UTF-8 "$f" | tail -n 20
done
