#pragma once
// The last resort for what nobody recovers (a crash on a library's own thread, a stack overflow,
// a corrupted process): a minidump in the daily log's folder, named
// "AppFrame_YYYYMMDD_HHMMSS_<pid>.dmp", and one line in the daily log; then the process ends as
// it would have, through the filter that was there before. Only the newest kKeptCrashDumps dumps
// are kept. A library that installs its own filter later takes over.
#include <cstddef>

inline constexpr size_t kKeptCrashDumps = 5;

void InstallCrashReport() noexcept;
