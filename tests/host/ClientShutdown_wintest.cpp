// The end of the client: when the main window closes, the task runner finishes, logs its exit
// once, and the process ends normally.
#include "ClientRig.h"

#include <gtest/gtest.h>

#include <string>

using namespace clienttest;

namespace {

size_t Count(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++count;
    return count;
}

} // namespace

TEST(ClientShutdown, ClosingTheMainWindowEndsTheTaskRunnerAfterItsLastAnswer) {
    TClientFolder folder(L"shutdown");
    std::string steps = R"({"steps":[{"do":"event","type":3})";
    for (int callerNo = 1; callerNo <= 10; ++callerNo)
        steps += R"(,{"do":"event","name":"sys.Enc","callerNo":)" + std::to_string(callerNo) +
                 R"(,"paramTypes":[4],"paramValues":["abc"]})";
    steps += R"(,{"do":"close"}]})";
    folder.SetScenario(steps);

    auto client = folder.Start();
    ASSERT_TRUE(client);
    EXPECT_EQ(client->WaitForExit(), 0u);

    const std::string log = folder.FrameworkLog();
    const std::string exitLine = "异步任务线程已退出！";
    EXPECT_EQ(Count(log, exitLine), 1u) << log;
    const size_t exitAt = log.find(exitLine);
    ASSERT_NE(exitAt, std::string::npos);
    EXPECT_EQ(log.find("CallJsFunction", exitAt), std::string::npos) << "nothing is answered after the exit";
    EXPECT_GE(folder.TranscriptOf("answer").size(), 1u);
    EXPECT_NE(folder.DailyLog().find("AppFrameMain: end, exit code 0"), std::string::npos);
}
