#include "AppLogTestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

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
    ExpectEveryLineOnce(ReadAll(TodayFile()), "p", kProcesses * kLines);
}
