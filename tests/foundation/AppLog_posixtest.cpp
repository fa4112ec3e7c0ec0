#include "AppLogTestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

#include <map>

using namespace applog_test;
namespace fs = std::filesystem;

using AppLogProcesses = AppLogFixture;

TEST_F(AppLogProcesses, ForkedWritersAppendEveryLine) {
    constexpr int kProcesses = 4;
    constexpr int kLines = 400;
    std::vector<pid_t> children;
    for (int p = 0; p < kProcesses; ++p) {
        const pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int i = 0; i < kLines; ++i) {
                WriteAppLog("p" + std::to_string(p) + "#" + std::to_string(i) + std::string(50, 'z'));
            }
            _exit(0);
        }
        children.push_back(pid);
    }
    for (pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    std::map<std::string, int> seen;
    for (const auto& line : SplitLines(ReadAll(TodayFile()))) {
        const size_t at = line.find("]p");
        ASSERT_NE(at, std::string::npos) << "torn line: " << line;
        ++seen[line.substr(at + 1)];
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kProcesses * kLines));
    for (const auto& [line, count] : seen)
        ASSERT_EQ(count, 1) << line;
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
