#!/bin/sh
# Installs everything the builds and tests need on a fresh Debian machine (run as root).
set -e
need=""
command -v i686-w64-mingw32-g++-posix >/dev/null 2>&1 || need=1
command -v wine >/dev/null 2>&1 || need=1
command -v ppcx64 >/dev/null 2>&1 || need=1
[ -d /usr/share/fpcsrc/3.2.2/rtl ] || need=1
[ -d /usr/src/googletest ] || need=1
[ -f /usr/include/openssl/evp.h ] || need=1
[ -f /usr/include/png.h ] || need=1
[ -f /usr/include/gif_lib.h ] || need=1
command -v Xvfb >/dev/null 2>&1 || need=1
[ -f /usr/i686-w64-mingw32/lib/libz.a ] || need=1
command -v cmake >/dev/null 2>&1 || need=1
command -v clang-format >/dev/null 2>&1 || need=1
command -v node >/dev/null 2>&1 || need=1
command -v npm >/dev/null 2>&1 || need=1
[ -x /usr/bin/chromium ] || need=1
[ -f /usr/share/fonts/truetype/wqy/wqy-microhei.ttc ] || need=1 # Chinese text in the screenshots
locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$' || need=1
# Node.js and npm only when absent: a machine may carry its own (newer) Node.js that Debian's npm
# package would conflict with.
node_pkgs=""
command -v node >/dev/null 2>&1 || node_pkgs="nodejs"
command -v npm >/dev/null 2>&1 || node_pkgs="$node_pkgs npm"
if [ -n "$need" ]; then
  export DEBIAN_FRONTEND=noninteractive
  dpkg --add-architecture i386
  # A mirror caught mid-sync fails an index or two; try again, then go on with what was fetched
  # (the install below fails plainly if a package is really out of reach).
  n=0
  release=""
  until apt-get update -qq; do
    n=$((n + 1))
    if [ "$n" -ge 3 ]; then
      # Without one suite's index (security's i386 list, say) the two architectures' candidates
      # differ in version and cannot be installed together: take the release's own versions.
      release="-t $(. /etc/os-release && echo "$VERSION_CODENAME")"
      break
    fi
    sleep 20
  done
  apt-get install -y -qq --no-install-recommends $release \
    build-essential cmake git g++-mingw-w64-i686 libz-mingw-w64-dev wine wine32:i386 \
    fpc-3.2.2 fpc-source-3.2.2 googletest libssl-dev libpng-dev libgif-dev zlib1g-dev xvfb xauth clang-format locales procps \
    chromium fonts-wqy-microhei $node_pkgs >/dev/null
  sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
# Browser automation for the page-host tests and benchmark, at the versions the lock file pins; it
# drives the Chromium installed above and downloads no browser of its own.
browser="$(dirname "$0")/../tests/browser"
if [ ! -f "$browser/node_modules/playwright-core/package.json" ]; then
  (cd "$browser" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error >/dev/null)
fi
