#pragma once
// The command-line tool's logic, separate from its entry point so tests can drive it.
#include <ostream>
#include <string>
#include <vector>

// Runs one command; args exclude the program name and are UTF-8. Prints one line on out.
// Returns 0 on success, 2 on bad input (message on err). Never throws.
int RunTool(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
