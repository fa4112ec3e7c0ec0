#pragma once
// Shared pieces of the daily-log tests: a private program folder and file reading.
#include "foundation/AppLog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace applog_test {

inline std::filesystem::path NewTempFolder(const std::string& tag) {
    static std::atomic<int> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    auto folder = std::filesystem::temp_directory_path() /
                  ("applog_" + tag + "_" + std::to_string(stamp) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(folder);
    return folder;
}

inline std::string ReadAll(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

inline std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t pos = text.find("\r\n"); pos != std::string::npos; pos = text.find("\r\n", start)) {
        lines.push_back(text.substr(start, pos - start));
        start = pos + 2;
    }
    if (start < text.size()) lines.push_back(text.substr(start)); // torn tail: a fault
    return lines;
}

// Checks that the file holds exactly `expected` distinct, whole lines whose message starts with
// `marker`, each written once.
inline void ExpectEveryLineOnce(const std::string& text, const std::string& marker, size_t expected) {
    std::map<std::string, int> seen;
    for (const auto& line : SplitLines(text)) {
        const size_t at = line.find("]" + marker);
        ASSERT_NE(at, std::string::npos) << "torn line: " << line;
        ++seen[line.substr(at + 1)];
    }
    EXPECT_EQ(seen.size(), expected);
    for (const auto& [message, count] : seen)
        ASSERT_EQ(count, 1) << message;
}

inline TAppLogTime FixedTime() {
    TAppLogTime t;
    t.Year = 2026;
    t.Month = 12;
    t.Day = 7;
    t.Hour = 11;
    t.Minute = 10;
    t.Second = 30;
    t.Millisecond = 42;
    return t;
}

// Points the log at a fresh program folder with a "Temp" folder and a fixed clock.
class AppLogFixture : public ::testing::Test {
protected:
    void SetUp() override {
        FRoot = NewTempFolder("log");
        std::filesystem::create_directories(FRoot / "Temp");
        SetProgramFolderForTests(FRoot.string());
        SetAppLogClockForTests([] { return FixedTime(); });
        SetAppLogDebugSinkForTests([this](std::u16string_view text) { FDebugLines.emplace_back(text); });
        SetAppLogEnabled(true);
    }
    void TearDown() override {
        SetAppLogEnabled(true);
        SetAppLogDebugSinkForTests({});
        SetAppLogClockForTests({});
        SetProgramFolderForTests("");
        std::error_code ignored;
        std::filesystem::remove_all(FRoot, ignored);
    }
    std::filesystem::path TodayFile(const std::string& logName = "") const {
        return std::filesystem::u8path(AppLogFilePath(logName, FixedTime()));
    }

    std::filesystem::path FRoot;
    std::vector<std::u16string> FDebugLines;
};

} // namespace applog_test
