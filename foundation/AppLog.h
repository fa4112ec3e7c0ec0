#pragma once
// The program's own daily log: "Temp\AppFrame_[YYYY-MM-DD].log" beside the executable.
// Writers never raise and never fail the caller. Any thread or process may write at the same
// time: every line is appended whole.
#include <functional>
#include <string>
#include <string_view>

// Creates the log folder (first call of the process only). Until the folder exists, writes do
// nothing.
void InitAppLog() noexcept;
// Message is UTF-8; it is written in the ANSI code page.
void WriteAppLog(std::string_view message) noexcept;
// Writes like WriteAppLog into the log named logName, then sends the message to the debugger.
void WriteAppLogW(std::u16string_view message, std::u16string_view logName = {}) noexcept;
void SetAppLogEnabled(bool enabled) noexcept;
bool AppLogEnabled() noexcept;

// The folder of the running executable with a trailing separator. Natively (tests) it can be
// set, since there is no executable folder of the product there.
std::string ProgramFolder();
void SetProgramFolderForTests(const std::string& folder);

// Local wall-clock time as the log writes it.
struct TAppLogTime {
    int Year = 1970;
    int Month = 1;
    int Day = 1;
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

// Program folder + "Temp", without a trailing separator.
std::string AppLogFolder();
// Log folder + separator + "AppFrame_" + logName + "[YYYY-MM-DD].log" (UTF-8 path).
std::string AppLogFilePath(std::string_view logName, const TAppLogTime& date);
// "YYYY-MM-DD HH:MM:SS.zzz: [Trd:<id>]<message>\r\n", still UTF-8.
std::string FormatAppLogLine(const TAppLogTime& time, unsigned long threadId, std::string_view message);
// The calendar date `days` days before the given one (time of day kept).
TAppLogTime AppLogDaysBefore(const TAppLogTime& time, int days);

// Test hooks. An empty function restores the real clock / debugger output.
void SetAppLogClockForTests(std::function<TAppLogTime()> clock);
void SetAppLogDebugSinkForTests(std::function<void(std::u16string_view)> sink);
// Makes the next write sweep old files again, as the first write of a new process would.
void ResetAppLogSweepForTests();
