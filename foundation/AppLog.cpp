#include "foundation/AppLog.h"

#include "foundation/AppLogPlatform.h"
#include "foundation/TextCodec.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace {

std::atomic<bool> gLogEnabled{true};
// Cleared by the first write; an atomic exchange so that racing first writers sweep once.
std::atomic<bool> gLogCleanupPending{true};
std::atomic<int> gInitCount{0};

std::mutex gHooksLock;
std::string gProgramFolderOverride;
std::function<TAppLogTime()> gClock;
std::function<void(std::u16string_view)> gDebugSink;

TAppLogTime Now() {
    std::function<TAppLogTime()> clock;
    {
        std::lock_guard<std::mutex> guard(gHooksLock);
        clock = gClock;
    }
    return clock ? clock() : applog_detail::LocalNow();
}

void SendToDebugger(std::u16string_view message) {
    std::function<void(std::u16string_view)> sink;
    {
        std::lock_guard<std::mutex> guard(gHooksLock);
        sink = gDebugSink;
    }
    if (sink) {
        sink(message);
    } else {
        applog_detail::DebugOutput(message);
    }
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, int& year, int& month, int& day) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<long long>(yoe) + era * 400 + (month <= 2));
}

void WriteLine(std::string_view message, std::string_view logName) {
    if (!gLogEnabled.load()) return;
    const std::string line = Utf8ToAnsi(FormatAppLogLine(Now(), applog_detail::CurrentThreadId(), message));
    if (gLogCleanupPending.exchange(false)) {
        const TAppLogTime now = Now();
        for (int days = 7; days <= 14; ++days) {
            applog_detail::DeleteFileIfExists(AppLogFilePath(logName, AppLogDaysBefore(now, days)));
        }
    }
    // Read the clock again: a line written just after midnight goes to the new day's file.
    applog_detail::AppendToFile(AppLogFilePath(logName, Now()), line);
}

} // namespace

TAppLogTime AppLogDaysBefore(const TAppLogTime& time, int days) {
    TAppLogTime result = time;
    CivilFromDays(
        DaysFromCivil(time.Year, static_cast<unsigned>(time.Month), static_cast<unsigned>(time.Day)) - days,
        result.Year, result.Month, result.Day);
    return result;
}

std::string FormatAppLogLine(const TAppLogTime& time, unsigned long threadId, std::string_view message) {
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d:%02d:%02d.%03d: [Trd:%lu]", time.Year, time.Month,
                  time.Day, time.Hour, time.Minute, time.Second, time.Millisecond, threadId);
    std::string line = stamp;
    line.append(message.data(), message.size());
    line += "\r\n";
    return line;
}

std::string ProgramFolder() {
    {
        std::lock_guard<std::mutex> guard(gHooksLock);
        if (!gProgramFolderOverride.empty()) return gProgramFolderOverride;
    }
    static const std::string folder = applog_detail::ExecutableFolder();
    return folder;
}

void SetProgramFolderForTests(const std::string& folder) {
    std::lock_guard<std::mutex> guard(gHooksLock);
    gProgramFolderOverride = folder;
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') {
        gProgramFolderOverride += applog_detail::kPathSeparator;
    }
}

std::string AppLogFolder() {
    return ProgramFolder() + "Temp";
}

std::string AppLogFilePath(std::string_view logName, const TAppLogTime& date) {
    char day[16];
    std::snprintf(day, sizeof day, "%04d-%02d-%02d", date.Year, date.Month, date.Day);
    std::string path = AppLogFolder();
    path += applog_detail::kPathSeparator;
    path += "AppFrame_";
    path.append(logName.data(), logName.size());
    path += '[';
    path += day;
    path += "].log";
    return path;
}

void InitAppLog() noexcept {
    try {
        if (gInitCount.fetch_add(1) == 0) applog_detail::ForceDirectories(AppLogFolder());
    } catch (...) {
    }
}

void WriteAppLog(std::string_view message) noexcept {
    try {
        WriteLine(message, {});
    } catch (...) {
    }
}

void WriteAppLogW(std::u16string_view message, std::u16string_view logName) noexcept {
    try {
        if (!gLogEnabled.load()) return;
        WriteLine(Utf16ToUtf8(message), Utf16ToUtf8(logName));
        SendToDebugger(message);
    } catch (...) {
    }
}

void SetAppLogEnabled(bool enabled) noexcept {
    gLogEnabled.store(enabled);
}

bool AppLogEnabled() noexcept {
    return gLogEnabled.load();
}

void SetAppLogClockForTests(std::function<TAppLogTime()> clock) {
    std::lock_guard<std::mutex> guard(gHooksLock);
    gClock = std::move(clock);
}

void SetAppLogDebugSinkForTests(std::function<void(std::u16string_view)> sink) {
    std::lock_guard<std::mutex> guard(gHooksLock);
    gDebugSink = std::move(sink);
}

void ResetAppLogSweepForTests() {
    gLogCleanupPending.store(true);
}
