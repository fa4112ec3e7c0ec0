#pragma once
// What the daily log needs from the operating system; AppLog_win.cpp and AppLog_posix.cpp.
#include "foundation/AppLog.h"

#include <string>
#include <string_view>

namespace applog_detail {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

TAppLogTime LocalNow();
unsigned long CurrentThreadId();
// Appends the bytes at the end of the file, creating it if needed, but never the folder.
bool AppendToFile(const std::string& path, std::string_view bytes);
void DeleteFileIfExists(const std::string& path);
bool ForceDirectories(const std::string& path);
void DebugOutput(std::u16string_view text);
// Folder of the running executable, with a trailing separator.
std::string ExecutableFolder();

} // namespace applog_detail
