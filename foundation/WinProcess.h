#pragma once
// This process's command line and message queue (Win32 build only).
#include <string>
#include <vector>

// The command-line parameters after the program name, as UTF-8.
std::vector<std::string> ProcessParameters();

// Dispatches the calling thread's pending messages without waiting. A quit request is left in the
// queue for the message loop that owns the end of the program.
void ProcessPendingMessages();
