#!/bin/sh
# Builds everything and runs every test: native, native with ASan+UBSan, and Win32 under Wine.
set -e
cd "$(dirname "$0")/.."
tools/install-deps.sh
jobs=$(nproc)

# Formatting is part of the build's hygiene: every C++ file follows .clang-format.
if [ -d .git ]; then
  git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror
fi

cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j"$jobs"
(cd build/native && ctest --output-on-failure -j"$jobs")

cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DAPPFRAME_SANITIZE=ON -DAPPFRAME_BENCH=OFF >/dev/null
cmake --build build/asan -j"$jobs"
(cd build/asan && ctest --output-on-failure -j"$jobs")

cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/win32 -j"$jobs"
(cd build/win32 && ctest --output-on-failure -j"$jobs")
