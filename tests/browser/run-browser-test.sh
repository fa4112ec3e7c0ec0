#!/bin/sh
# CTest entry of the page-host browser test: SOURCE_DIR BUILD_DIR. Exits 77 (skipped) outside CI
# when Node.js is missing; the test itself skips when Chromium or playwright-core is.
if ! command -v node >/dev/null 2>&1; then
  [ -n "$CI" ] && { echo "node is missing" >&2; exit 1; }
  echo "SKIPPED: node is missing"; exit 77
fi
exec node "$1/tests/browser/pagehost.test.js" "$1" "$2"
