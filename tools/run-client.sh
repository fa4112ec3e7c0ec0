#!/bin/sh
# Builds the Win32 client and runs it under Wine on its default set-up: the program folder
# build/win32/program with the stand-in web framework and sibling libraries (accounts from
# tools/client-demo/accounts.json, pending messages from tools/client-demo/messages.json). The
# stand-in framework plays a short page session (tools/client-demo/scenario.json): the page loads,
# calls "sys.*", asks for "appKey", signs in ("app.login"), reads "app.userinfor" and
# "app.header", asks "msg.GetMessage", sends a receipt and opens a pop-up; meanwhile the
# background fetch reaches the page's "MessageNotify", and appframe-tool hands a sign-in over as
# another program would, so that "UserLoginNotify" arrives. The main window closes a few seconds
# later. Arguments are passed on to the client (e.g. runmode=qnb).
#
# With --browser first, the stand-in framework runs in page-host mode instead: every form is a
# page of the system's browser, served on 127.0.0.1 (the demo pages of program/Forms/Demo*.html).
# The script prints the address, opens it in Chromium when there is a display, and otherwise waits
# until the main page closes (the client ends a few seconds after its last main page went) or
# Ctrl-C.
set -e
cd "$(dirname "$0")/.."
browser=""
if [ "$1" = "--browser" ]; then
  browser=1
  shift
fi
[ -n "$APPFRAME_BUILD_DIR" ] || tools/install-deps.sh
build="${APPFRAME_BUILD_DIR:-build/win32}"
echo "== Building the Win32 client ($build)"
cmake -S . -B $build -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build $build -j"$(nproc)"
prefix="$PWD/$build/wineprefix"
echo "== Preparing the private Wine prefix ($prefix)"
tools/wine-prefix.sh start "$prefix"
trap 'tools/wine-prefix.sh stop "$prefix"' EXIT
trap 'exit 130' INT TERM
# The push-message library is loaded only from the Windows directory's drive + "\Corvane\ZRPNS\".
mkdir -p "$prefix/drive_c/Corvane/ZRPNS"
cp "$PWD/$build/program/ZRPNSApi.dll" "$prefix/drive_c/Corvane/ZRPNS/ZRPNSApi.dll"

program="$PWD/$build/program"
transcript="$program/transcript.jsonl"
rm -f "$transcript" "$program/AppFramework.log"
# Wine sees the Unix root as drive Z:.
export APPFRAME_STUB_TRANSCRIPT="Z:$transcript"
export APPFRAME_STUB_ACCOUNTS="Z:$PWD/tools/client-demo/accounts.json"
export APPFRAME_STUB_PNS_STORE="Z:$PWD/tools/client-demo/messages.json"

show_logs() {
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
}

if [ -n "$browser" ]; then
  export APPFRAME_PAGEHOST=1
  export APPFRAME_STUB_PARAMS="Z:$PWD/tools/client-demo/browser-params.json"
  rm -f "$program/PageHost.url"
  echo "== Starting AppFrameMain.exe under Wine in page-host mode"
  tools/wine-run.sh "$prefix" "$program/AppFrameMain.exe" "$@" &
  client=$!
  tries=0
  while [ ! -s "$program/PageHost.url" ] && kill -0 $client 2>/dev/null && [ $tries -lt 600 ]; do
    sleep 0.1
    tries=$((tries + 1))
  done
  address="$(cat "$program/PageHost.url" 2>/dev/null || true)"
  [ -n "$address" ] || { echo "The client did not start its page host." >&2; exit 1; }
  echo "== The client's pages: $address"
  if [ -n "$DISPLAY$WAYLAND_DISPLAY" ] && [ -x /usr/bin/chromium ]; then
    sandbox=""
    [ "$(id -u)" = 0 ] && sandbox="--no-sandbox"
    /usr/bin/chromium $sandbox --user-data-dir="$PWD/$build/chromium-profile" --no-first-run \
      --disable-popup-blocking "$address" >/dev/null 2>&1 &
    echo "   opened in Chromium; the client ends when its main page closes"
  else
    echo "   no display: open the address in a browser on this machine; the client runs until its"
    echo "   main page closes, or Ctrl-C"
  fi
  status=0
  wait $client || status=$?
  echo "== The client ended with exit code $status"
  show_logs
  exit 0
fi

export APPFRAME_STUB_SCENARIO="Z:$PWD/tools/client-demo/scenario.json"
export APPFRAME_STUB_PARAMS="Z:$PWD/tools/client-demo/params.json"

echo "== Starting AppFrameMain.exe under Wine (headless)"
echo "   program folder: $program"
echo "   page session:   tools/client-demo/scenario.json (about 8 seconds)"
# Another program hands the signed-in user over while the page runs.
(sleep 5 && tools/wine-run.sh "$prefix" "$PWD/$build/tools/appframe-tool/appframe-tool.exe" handover ZRAppFrameWork \
  '{"token":"T-demo-2","loginInfo":{"accountId":"A-demo","loginName":"demo"}}' \
  > "$program/handover.txt" 2>&1) &
status=0
tools/wine-run.sh "$prefix" "$program/AppFrameMain.exe" "$@" || status=$?
wait
echo "== The hand-over's result code (100: accepted): $(cat "$program/handover.txt" 2>/dev/null)"
echo "== The client ended with exit code $status"
show_logs
