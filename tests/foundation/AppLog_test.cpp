#include "AppLogTestSupport.h"

#include "foundation/TextCodec.h"

#include <gtest/gtest.h>

#include <map>
#include <thread>

using namespace applog_test;
namespace fs = std::filesystem;

namespace {

TAppLogTime Date(int y, int m, int d) {
    TAppLogTime t;
    t.Year = y;
    t.Month = m;
    t.Day = d;
    return t;
}

bool IsDecimal(const std::string& s) {
    return !s.empty() && s.find_first_not_of("0123456789") == std::string::npos && (s == "0" || s[0] != '0');
}

} // namespace

TEST(AppLogLayout, LineHasTimestampThreadAndCrLf) {
    EXPECT_EQ(FormatAppLogLine(FixedTime(), 4712, "start"), "2026-12-07 11:10:30.042: [Trd:4712]start\r\n");
    TAppLogTime t = Date(987, 1, 2);
    t.Hour = 3;
    t.Minute = 4;
    t.Second = 5;
    t.Millisecond = 6;
    EXPECT_EQ(FormatAppLogLine(t, 0, ""), "0987-01-02 03:04:05.006: [Trd:0]\r\n");
    EXPECT_EQ(FormatAppLogLine(FixedTime(), 4294967295ul, "x"),
              "2026-12-07 11:10:30.042: [Trd:4294967295]x\r\n");
}

TEST(AppLogLayout, FileNameCarriesLogNameAndDate) {
    SetProgramFolderForTests("base");
    const std::string sep = AppLogFolder().substr(4, 1);
    EXPECT_EQ(AppLogFolder(), "base" + sep + "Temp");
    EXPECT_EQ(AppLogFilePath("", Date(2026, 3, 9)),
              "base" + sep + "Temp" + sep + "AppFrame_[2026-03-09].log");
    EXPECT_EQ(AppLogFilePath("Svc", Date(2026, 3, 9)),
              "base" + sep + "Temp" + sep + "AppFrame_Svc[2026-03-09].log");
    SetProgramFolderForTests("");
}

TEST(AppLogLayout, DaysBeforeCrossesMonthsYearsAndLeapDays) {
    auto ymd = [](const TAppLogTime& t) { return t.Year * 10000 + t.Month * 100 + t.Day; };
    EXPECT_EQ(ymd(AppLogDaysBefore(Date(2024, 3, 1), 1)), 20240229);
    EXPECT_EQ(ymd(AppLogDaysBefore(Date(2023, 3, 1), 1)), 20230228);
    EXPECT_EQ(ymd(AppLogDaysBefore(Date(2100, 3, 1), 1)), 21000228);
    EXPECT_EQ(ymd(AppLogDaysBefore(Date(2000, 3, 1), 1)), 20000229);
    EXPECT_EQ(ymd(AppLogDaysBefore(Date(2026, 1, 5), 7)), 20251229);
    EXPECT_EQ(ymd(AppLogDaysBefore(Date(2026, 1, 5), 14)), 20251222);
    EXPECT_EQ(ymd(AppLogDaysBefore(Date(2026, 1, 5), 0)), 20260105);
    TAppLogTime withTime = FixedTime();
    const TAppLogTime shifted = AppLogDaysBefore(withTime, 10);
    EXPECT_EQ(shifted.Hour, 11);
    EXPECT_EQ(shifted.Millisecond, 42);
}

using AppLogWrite = AppLogFixture;

TEST_F(AppLogWrite, EmptyMessageStillWritesAWholeLine) {
    WriteAppLog("");
    const auto lines = SplitLines(ReadAll(TodayFile()));
    ASSERT_EQ(lines.size(), 1u);
    const std::string prefix = "2026-12-07 11:10:30.042: [Trd:";
    ASSERT_EQ(lines[0].compare(0, prefix.size(), prefix), 0) << lines[0];
    ASSERT_EQ(lines[0].back(), ']');
    EXPECT_TRUE(IsDecimal(lines[0].substr(prefix.size(), lines[0].size() - prefix.size() - 1))) << lines[0];
}

TEST_F(AppLogWrite, LinesAppendToTheDaysFileInAnsi) {
    SetAnsiCodePage(936);
    WriteAppLog("first");
    // 中文 then a Thai letter that code page 936 cannot hold.
    WriteAppLog("\xE4\xB8\xAD\xE6\x96\x87\xE0\xB8\x81x");
    const auto lines = SplitLines(ReadAll(TodayFile()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("]first"), std::string::npos);
    const std::string expected = "]\xD6\xD0\xCE\xC4?x";
    ASSERT_GE(lines[1].size(), expected.size());
    EXPECT_EQ(lines[1].substr(lines[1].size() - expected.size()), expected);
}

TEST_F(AppLogWrite, FirstWriteSweepsSevenToFourteenDaysBackOnly) {
    std::map<int, fs::path> files;
    for (int days = 5; days <= 16; ++days) {
        files[days] = fs::u8path(AppLogFilePath("", AppLogDaysBefore(FixedTime(), days)));
        std::ofstream(files[days]) << "old";
    }
    const fs::path otherName = fs::u8path(AppLogFilePath("Other", AppLogDaysBefore(FixedTime(), 8)));
    std::ofstream(otherName) << "old";

    ResetAppLogSweepForTests();
    WriteAppLog("sweep");
    for (const auto& [days, file] : files) {
        EXPECT_EQ(fs::exists(file), days < 7 || days > 14) << days << " days back";
    }
    EXPECT_TRUE(fs::exists(otherName)) << "another log name is not this log's file";

    // Later writes of the same process leave old files alone.
    std::ofstream(files[7]) << "old";
    WriteAppLog("again");
    EXPECT_TRUE(fs::exists(files[7]));
    EXPECT_EQ(SplitLines(ReadAll(TodayFile())).size(), 2u);
}

TEST_F(AppLogWrite, SweepOfANamedLogUsesItsOwnName) {
    const fs::path named = fs::u8path(AppLogFilePath("Svc", AppLogDaysBefore(FixedTime(), 10)));
    const fs::path plain = fs::u8path(AppLogFilePath("", AppLogDaysBefore(FixedTime(), 10)));
    std::ofstream(named) << "old";
    std::ofstream(plain) << "old";
    ResetAppLogSweepForTests();
    WriteAppLogW(u"named", u"Svc");
    EXPECT_FALSE(fs::exists(named));
    EXPECT_TRUE(fs::exists(plain));
    EXPECT_EQ(SplitLines(ReadAll(TodayFile("Svc"))).size(), 1u);
}

TEST_F(AppLogWrite, MissingFolderMakesWritesDoNothing) {
    fs::remove_all(FRoot / "Temp");
    WriteAppLog("lost");
    WriteAppLogW(u"lost", u"");
    EXPECT_FALSE(fs::exists(FRoot / "Temp")) << "a write must not bring the folder back";
}

TEST_F(AppLogWrite, WideWriterLogsAndSendsToDebuggerOncePerCall) {
    WriteAppLogW(u"\u4E2D-wide", u"");
    WriteAppLogW(u"", u"");
    ASSERT_EQ(FDebugLines.size(), 2u);
    EXPECT_EQ(FDebugLines[0], u"\u4E2D-wide");
    EXPECT_EQ(FDebugLines[1], u"");
    const auto lines = SplitLines(ReadAll(TodayFile()));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("]\xD6\xD0-wide"), std::string::npos);
}

TEST_F(AppLogWrite, DisabledLogWritesNothingAnywhere) {
    SetAppLogEnabled(false);
    EXPECT_FALSE(AppLogEnabled());
    WriteAppLog("off");
    WriteAppLogW(u"off", u"");
    EXPECT_FALSE(fs::exists(TodayFile()));
    EXPECT_TRUE(FDebugLines.empty());
}

TEST_F(AppLogWrite, LineJustAfterMidnightGoesToTheNewDaysFile) {
    WriteAppLog("settle"); // the sweep is done before the clock below is installed
    auto calls = std::make_shared<std::atomic<int>>(0);
    SetAppLogClockForTests([calls] {
        TAppLogTime t = calls->fetch_add(1) == 0 ? Date(2026, 12, 7) : Date(2026, 12, 8);
        if (t.Day == 7) {
            t.Hour = 23;
            t.Minute = 59;
            t.Second = 59;
            t.Millisecond = 999;
        }
        return t;
    });
    WriteAppLog("midnight");
    const auto lines = SplitLines(ReadAll(fs::u8path(AppLogFilePath("", Date(2026, 12, 8)))));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].compare(0, 23, "2026-12-07 23:59:59.999"), 0) << lines[0];
}

TEST_F(AppLogWrite, ConcurrentThreadsNeverLoseOrTearALine) {
    constexpr int kThreads = 8;
    constexpr int kLinesEach = 300;
    ResetAppLogSweepForTests(); // every thread races for the first-write sweep too
    const fs::path swept = fs::u8path(AppLogFilePath("", AppLogDaysBefore(FixedTime(), 9)));
    std::ofstream(swept) << "old";
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < kLinesEach; ++i) {
                WriteAppLog("worker" + std::to_string(t) + "#" + std::to_string(i) + std::string(40, 'x'));
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    EXPECT_FALSE(fs::exists(swept));

    ExpectEveryLineOnce(ReadAll(TodayFile()), "worker", kThreads * kLinesEach);
}

TEST(AppLogProgramFolder, InitCreatesMissingParentsOnFirstCallOnly) {
    const fs::path root = NewTempFolder("init");
    SetProgramFolderForTests((root / "a" / "b").string());
    InitAppLog();
    EXPECT_TRUE(fs::is_directory(root / "a" / "b" / "Temp"));
    fs::remove_all(root / "a");
    InitAppLog();
    EXPECT_FALSE(fs::exists(root / "a"));
    SetProgramFolderForTests("");
    std::error_code ignored;
    fs::remove_all(root, ignored);
}
