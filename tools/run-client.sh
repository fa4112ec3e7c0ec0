#!/bin/sh
# Builds the Win32 client and runs it under Wine on its default set-up: the program folder
# build/win32/program with the stand-in web framework and sibling libraries.
set -e
cd "$(dirname "$0")/.."
tools/install-deps.sh
build=build/win32
echo "== Building the Win32 client ($build)"
cmake -S . -B $build -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build $build -j"$(nproc)"
prefix="$PWD/$build/wineprefix"
echo "== Preparing the private Wine prefix ($prefix)"
tools/wine-prefix.sh start "$prefix"
trap 'tools/wine-prefix.sh stop "$prefix"' EXIT
if [ -f $build/program/AppFrameMain.exe ]; then
  echo "== Starting AppFrameMain.exe under Wine (headless; stop with Ctrl-C)"
  echo "   program folder: $build/program; daily log: $build/program/Temp/"
  tools/wine-run.sh "$prefix" $build/program/AppFrameMain.exe "$@" || true
  echo "== The client ended. Its daily log:"
  cat $build/program/Temp/AppFrame_*.log 2>/dev/null | tail -n 40 || true
else
  echo "== The client is not built yet; demonstrating appframe-tool instead"
  tool=$build/tools/appframe-tool/appframe-tool.exe
  for args in "enc 你好" "md5 abc" "sha1 abc"; do
    echo "appframe-tool $args"
    # shellcheck disable=SC2086
    tools/wine-run.sh "$prefix" $tool $args
  done
fi
