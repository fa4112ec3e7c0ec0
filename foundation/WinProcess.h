#pragma once
// This process's command line, message queue and loaded modules (Win32 build only).
#include <cstdint>
#include <string>
#include <vector>

// The command-line parameters after the program name, as UTF-8.
std::vector<std::string> ProcessParameters();

// Dispatches the calling thread's pending messages without waiting. A quit request is left in the
// queue for the message loop that owns the end of the program.
void ProcessPendingMessages();

// The file name (no folder) of the loaded module whose image holds `address`, and its base in
// *base; empty outside every module.
std::string ModuleNameAt(const void* address, uintptr_t* base = nullptr);
