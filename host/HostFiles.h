#pragma once
// File access for the host's configuration readers; paths are UTF-8 (wide calls on Win32, so
// folders with Chinese names work whatever the ANSI code page).
#include <string>

bool FileExistsUtf8(const std::string& path);
// The whole file; false when it is missing or cannot be read.
bool ReadFileBytes(const std::string& path, std::string& bytes);
// The running executable's full path.
std::string ExecutablePath();
