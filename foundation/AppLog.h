#pragma once
// The program's own daily log: "Temp\AppFrame_[YYYY-MM-DD].log" beside the executable.
// Writers never raise and never fail the caller.
#include <string>
#include <string_view>

// Creates the log folder (first call of the process only).
void InitAppLog() noexcept;
// Message is UTF-8; it is written in the ANSI code page.
void WriteAppLog(std::string_view message) noexcept;
void WriteAppLogW(std::u16string_view message, std::u16string_view logName) noexcept;
void SetAppLogEnabled(bool enabled) noexcept;

// The folder of the running executable with a trailing separator. Natively (tests) it can be
// set, since there is no executable folder of the product there.
std::string ProgramFolder();
void SetProgramFolderForTests(const std::string& folder);
