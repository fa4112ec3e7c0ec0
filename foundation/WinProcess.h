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

// The export `name` of a loaded module as a function pointer of type F, in `target`; null when
// the module or the export is missing.
void* ExportAddress(void* module, const char* name);
template <class F>
void BindExport(void* module, const char* name, F& target) {
    target = reinterpret_cast<F>(ExportAddress(module, name));
}

// The file name (no folder) of the loaded module whose image holds `address`, and its base in
// *base; empty outside every module.
std::string ModuleNameAt(const void* address, uintptr_t* base = nullptr);
