// Idle workers cost nothing: with nothing queued, the task runner and the message poller wait
// without ever being woken; each entry wakes them exactly once.
#include "DispatchFakes.h"

#include <gtest/gtest.h>

#include <thread>

using namespace dispatch_test;

namespace {

// Waits until the worker has gone to sleep with an empty stack that many times in all.
bool WaitUntilIdle(detail::TAsyWorker& worker, uint32_t idleWaits) {
    const auto give_up = std::chrono::steady_clock::now() + kPatience;
    while (worker.IdleWaits() < idleWaits) {
        if (std::chrono::steady_clock::now() > give_up) return false;
        std::this_thread::yield();
    }
    return true;
}

// Long enough for a polling loop to have gone round several times.
void StayIdle() {
    std::this_thread::sleep_for(std::chrono::milliseconds(350));
}

class IdleWorkersTest : public ::testing::Test {
protected:
    void SetUp() override {
        TJournal::Instance().Clear();
        Registry.InitAllModules(TestClasses());
    }

    TFakePort Port;
    TFakeFiles Files;
    TActionRegistry Registry{Port, Files};
};

} // namespace

TEST_F(IdleWorkersTest, TaskRunnerSleepsUntilATaskComesAndIsWokenOncePerTask) {
    TAsyRunTask runner(Port, Registry);
    Registry.SetTaskRunner(&runner);
    ASSERT_TRUE(WaitUntilIdle(runner, 1));
    StayIdle();
    EXPECT_EQ(runner.WakeUps(), 0u) << "nothing queued, nothing to wake for";
    EXPECT_EQ(runner.IdleWaits(), 1u);

    TOwnedContext page(3, 1);
    ASSERT_EQ(Registry.CallActionFun("app.login", page.Wrap()), CLAsync);
    ASSERT_TRUE(Port.WaitForAnswers(1));
    ASSERT_TRUE(WaitUntilIdle(runner, 2));
    EXPECT_EQ(runner.WakeUps(), 1u);

    StayIdle();
    EXPECT_EQ(runner.WakeUps(), 1u);
    EXPECT_EQ(runner.IdleWaits(), 2u);
    runner.Stop();
    EXPECT_EQ(runner.WakeUps(), 2u) << "stopping wakes it once more";
}

TEST_F(IdleWorkersTest, MessagePollerSleepsAfterItsPassUntilTheNextEntry) {
    Port.SetPage([](const TPageCall&) { return true; });
    TAsyGetMessage::TTimings timings;
    timings.PassInterval = std::chrono::milliseconds(1);
    TAsyGetMessage poller(Port, Registry, timings);
    ASSERT_TRUE(WaitUntilIdle(poller, 1));
    StayIdle();
    EXPECT_EQ(poller.WakeUps(), 0u);

    ASSERT_TRUE(poller.AppendNotifyTask("通知账户更新", NTUser, {TVarRec::Text("u")}));
    ASSERT_TRUE(Port.WaitForLog("用户登录通知已送达！"));
    ASSERT_TRUE(WaitUntilIdle(poller, 2));
    EXPECT_EQ(poller.WakeUps(), 2u) << "one for the entry, one for the end of the pause after it";

    StayIdle();
    EXPECT_EQ(poller.WakeUps(), 2u);
    EXPECT_EQ(poller.IdleWaits(), 2u);
}
