#include "DispatchFakes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace dispatch_test;

namespace {

// Holds whoever enters until the test opens it.
class TGate {
public:
    void Enter() {
        std::unique_lock<std::mutex> guard(FLock);
        FEntered = true;
        FChanged.notify_all();
        FChanged.wait(guard, [this] { return FOpen; });
    }
    bool WaitEntered() {
        std::unique_lock<std::mutex> guard(FLock);
        return FChanged.wait_for(guard, kPatience, [this] { return FEntered; });
    }
    void Open() {
        std::lock_guard<std::mutex> guard(FLock);
        FOpen = true;
        FChanged.notify_all();
    }
    void Reset() {
        std::lock_guard<std::mutex> guard(FLock);
        FEntered = false;
        FOpen = false;
    }

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    bool FEntered = false;
    bool FOpen = false;
};

TGate& Gate() {
    static TGate gate;
    return gate;
}

class TGateSvc : public TActionService {
public:
    std::string Hold(TCallerContext*) {
        Note("gate.Hold");
        Gate().Enter();
        return "held";
    }
};

const TServiceClass& GateClass() {
    static const TServiceClass cls =
        MakeServiceClass<TGateSvc>("TGateSvc", "gate", {{"Hold", &TGateSvc::Hold, {"", actASync}}});
    return cls;
}

std::vector<int32_t> CallerNumbers(const std::vector<TAnswer>& answers) {
    std::vector<int32_t> numbers;
    for (const TAnswer& a : answers)
        numbers.push_back(a.CallerNo);
    return numbers;
}

class TaskRunnerTest : public ::testing::Test {
protected:
    void SetUp() override {
        TJournal::Instance().Clear();
        Gate().Reset();
        std::vector<const TServiceClass*> classes = TestClasses();
        classes.push_back(&GateClass());
        Registry.InitAllModules(classes);
        Registry.SetTaskRunner(&Runner);
    }
    void TearDown() override {
        Gate().Open();
        Runner.Stop();
    }

    TCurrentCallerType PageCall(const std::string& action, TOwnedContext& page) {
        return Registry.CallActionFun(action, page.Wrap());
    }

    TFakePort Port;
    TFakeFiles Files;
    TActionRegistry Registry{Port, Files};
    TAsyRunTask Runner{Port, Registry};
};

} // namespace

TEST_F(TaskRunnerTest, RunsTheNewestWaitingTaskFirstAndAnswersEachPage) {
    TOwnedContext held(1, 11), older(2, 12), newer(3, 13);
    older->GetParams()->AddStrParam(jptText, "a");
    ASSERT_EQ(PageCall("gate.Hold", held), CLAsync);
    ASSERT_TRUE(Gate().WaitEntered());
    ASSERT_EQ(PageCall("app.login", older), CLAsync);
    ASSERT_EQ(PageCall("sys.Enc", newer), CLAsync);
    Gate().Open();
    ASSERT_TRUE(Port.WaitForAnswers(3));

    const std::vector<TAnswer> answers = Port.Answers();
    EXPECT_EQ(CallerNumbers(answers), (std::vector<int32_t>{1, 3, 2}));
    EXPECT_EQ(answers[1].WebId, 13);
    EXPECT_EQ(answers[1].Text, "enc");
    EXPECT_EQ(answers[2].Text, "login:a");
    EXPECT_TRUE(Port.HasLog("异步任务添加:login[login]TTestAccount"));
    EXPECT_TRUE(Port.HasLog("异步任务，获取到一个任务:Enc[EncryptStr]"));
    EXPECT_TRUE(Port.HasLog("异步任务执行:Enc[EncryptStr]TTestSys"));
}

TEST_F(TaskRunnerTest, FailingActionIsLoggedUnansweredAndTheRunnerCarriesOn) {
    TOwnedContext failing(5, 1), next(6, 1);
    ASSERT_EQ(PageCall("app.boom", failing), CLAsync);
    ASSERT_TRUE(Port.WaitForLog("异步执行:boom[Boom]时异常:kaput"));
    ASSERT_EQ(PageCall("app.login", next), CLAsync);
    ASSERT_TRUE(Port.WaitForAnswers(1));
    EXPECT_EQ(CallerNumbers(Port.Answers()), (std::vector<int32_t>{6}));
    Runner.Stop();
    EXPECT_EQ(failing->RefCount(), 1u) << "the failed task's context is released too";
    EXPECT_EQ(next->RefCount(), 1u);
}

TEST_F(TaskRunnerTest, TaskWithoutMethodEntryIsAnsweredWithEmptyText) {
    TOwnedContext page(8, 2);
    Runner.AppendTask(nullptr, nullptr, page.Wrap(), nullptr);
    ASSERT_TRUE(Port.WaitForAnswers(1));
    EXPECT_EQ(Port.Answers()[0].Text, "");
    EXPECT_TRUE(Port.HasLog("异步任务添加:[]"));
    EXPECT_TRUE(Port.HasLog("异步任务，获取到一个任务:[]"));
}

TEST_F(TaskRunnerTest, StopFinishesTaskInHandAndDropsTheRest) {
    TOwnedContext held(1, 1), waiting(2, 1);
    ASSERT_EQ(PageCall("gate.Hold", held), CLAsync);
    ASSERT_TRUE(Gate().WaitEntered());
    ASSERT_EQ(PageCall("app.login", waiting), CLAsync);

    std::thread stopper([this] { Runner.Stop(); });
    while (!Runner.Terminated())
        std::this_thread::yield();
    Gate().Open();
    stopper.join();

    EXPECT_EQ(CallerNumbers(Port.Answers()), (std::vector<int32_t>{1}));
    EXPECT_EQ(Port.LogCount("异步任务线程已退出！"), 1u);
    EXPECT_EQ(waiting->RefCount(), 1u) << "an entry left on the stack is released without running";
    const std::vector<std::string> lines = TJournal::Instance().Lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "app.login"), 0);

    TOwnedContext late(3, 1);
    EXPECT_EQ(PageCall("app.login", late), CLAsync);
    EXPECT_EQ(late->RefCount(), 1u) << "a stopped runner keeps nothing";
}

// ---------------------------------------------------------------------------------------------

namespace {

class MessagePollerTest : public ::testing::Test {
protected:
    void SetUp() override {
        TJournal::Instance().Clear();
        TTestMsg::SetAnswer("");
        Registry.InitAllModules(TestClasses());
        Registry.SetTaskRunner(&Kept);
    }

    TAsyGetMessage::TTimings FakeClock() {
        TAsyGetMessage::TTimings timings;
        timings.PassInterval = std::chrono::milliseconds(500); // counted as the end of a pass
        timings.Wait = [this](std::chrono::milliseconds interval) {
            Clock += interval.count();
            if (interval == std::chrono::milliseconds(500)) ++Passes;
            return true;
        };
        return timings;
    }

    // Waits until the poller has finished that many entries.
    bool WaitForPasses(int count) {
        for (long i = 0; i < 100000000L && Passes < count; ++i)
            std::this_thread::yield();
        return Passes >= count;
    }

    // The main-log lines of the poller's own work, in order.
    std::vector<std::string> PollerLog() {
        std::vector<std::string> lines;
        for (const std::string& line : Port.Log()) {
            if (line.rfind("添加异步执行", 0) == 0 || line == "TAsyGetMessage 添加成功") continue;
            lines.push_back(line);
        }
        return lines;
    }

    std::atomic<long long> Clock{0};
    std::atomic<int> Passes{0};
    TFakePort Port;
    TFakeFiles Files;
    TKeptTasks Kept;
    TActionRegistry Registry{Port, Files};
};

const TVarArgs kFetchArgs{TVarRec::Text("1,2"), TVarRec::Integer(10), TVarRec::Int64(5)};

} // namespace

TEST_F(MessagePollerTest, DeliversMessagesOncePageDefinesItsFunctionAfterRetries) {
    TTestMsg::SetAnswer("[{\"id\":1}]");
    Port.SetPage([this](const TPageCall& call) { return call.Function == "MessageNotify" && Clock >= 3000; });
    TAsyGetMessage poller(Port, Registry, FakeClock());
    ASSERT_TRUE(poller.AppendNotifyTask("后台拉消息", NTMsg, kFetchArgs));
    ASSERT_TRUE(Port.WaitForLog("消息通知已送达[1,2]！"));

    const std::string start = "消息通知开始[1,2]！";
    const std::string retry = "未找到消息通知函数，稍候重试！";
    EXPECT_EQ(PollerLog(),
              (std::vector<std::string>{"同步拉消息开始！", "同步拉消息结束！", start, retry, start, retry,
                                        start, retry, start, "消息通知已送达[1,2]！"}));
    EXPECT_TRUE(Port.HasLog("添加异步执行[后台拉消息]成功"));
    const std::vector<TPageCall> calls = Port.PageCalls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls.back().Args, (std::vector<std::string>{"1,2", "[{\"id\":1}]"}));
}

TEST_F(MessagePollerTest, GivesUpAfterTwentyAttemptsAndHandlesTheNextEntry) {
    TTestMsg::SetAnswer("[{\"id\":1}]");
    TAsyGetMessage poller(Port, Registry, FakeClock());
    poller.AppendNotifyTask("后台拉消息", NTMsg, kFetchArgs);
    ASSERT_TRUE(Port.WaitForLog("未找到消息通知函数，稍候重试！", 20));
    Port.SetPage([](const TPageCall& call) { return call.Function == "UserLoginNotify"; });
    poller.AppendNotifyTask("通知账户更新", NTUser, {TVarRec::Text("{}", TVarKind::vtAnsiString)});
    ASSERT_TRUE(Port.WaitForLog("用户登录通知已送达！"));
    EXPECT_EQ(Port.LogCount("消息通知开始[1,2]！"), 20u);
    EXPECT_EQ(Port.LogCount("未找到消息通知函数，稍候重试！"), 20u);
    EXPECT_GE(Clock.load(), 19 * 1000);
}

TEST_F(MessagePollerTest, ShortFetchAnswersNotifyNothing) {
    TAsyGetMessage poller(Port, Registry, FakeClock());
    // Lengths count in the 8-bit code page: "消息" is six bytes in UTF-8 but four there.
    size_t fetches = 0;
    for (const char* answer : {"", "[]", "12345", "消息"}) {
        TTestMsg::SetAnswer(answer);
        poller.AppendNotifyTask("后台拉消息", NTMsg, kFetchArgs);
        ASSERT_TRUE(Port.WaitForLog("同步拉消息结束！", ++fetches)) << answer;
    }
    EXPECT_TRUE(Port.PageCalls().empty());

    TTestMsg::SetAnswer("123456");
    Port.SetPage([](const TPageCall&) { return true; });
    poller.AppendNotifyTask("后台拉消息", NTMsg, {});
    ASSERT_TRUE(Port.WaitForLog("消息通知已送达[]！"))
        << "six bytes are enough; no parameters give an empty key";
}

TEST_F(MessagePollerTest, FailingFetchIsLoggedAndNotifiesNothing) {
    TTestMsg::SetAnswer("[{\"id\":1}]", true);
    Port.SetPage([](const TPageCall&) { return true; });
    TAsyGetMessage poller(Port, Registry, FakeClock());
    poller.AppendNotifyTask("后台拉消息", NTMsg, kFetchArgs);
    ASSERT_TRUE(Port.WaitForLog("同步拉消息结束！"));
    EXPECT_FALSE(Port.HasLog("同步拉消息异常:fetch failed")); // a diagnostic: the daily log's
    EXPECT_TRUE(Port.PageCalls().empty());
}

TEST_F(MessagePollerTest, UserEntryWithoutParametersCallsNothing) {
    Port.SetPage([](const TPageCall&) { return true; });
    TAsyGetMessage poller(Port, Registry, FakeClock());
    poller.AppendNotifyTask("通知账户更新", NTUser, {});
    ASSERT_TRUE(WaitForPasses(1));
    EXPECT_TRUE(Port.PageCalls().empty());
    const std::string info = "{\"name\":\"张三\"}";
    poller.AppendNotifyTask("通知账户更新", NTUser, {TVarRec::Text(info, TVarKind::vtAnsiString)});
    ASSERT_TRUE(Port.WaitForLog("用户登录通知已送达！"));

    const std::vector<TPageCall> calls = Port.PageCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].Function, "UserLoginNotify");
    EXPECT_EQ(calls[0].Args, (std::vector<std::string>{info}));
    EXPECT_TRUE(Port.HasLog("用户登录通知开始[len=" + std::to_string(Utf8ToAnsi(info).size()) + "]！"));
    EXPECT_EQ(Utf8ToAnsi(info).size(), 15u);
}

TEST_F(MessagePollerTest, TakesNewestEntryFirst) {
    TGate gate;
    std::vector<std::string> order;
    std::mutex orderLock;
    Port.SetPage([&](const TPageCall& call) {
        {
            std::lock_guard<std::mutex> guard(orderLock);
            order.push_back(call.Args.at(0));
        }
        if (call.Args.at(0) == "u0") gate.Enter();
        return true;
    });
    TAsyGetMessage poller(Port, Registry, FakeClock());
    poller.AppendNotifyTask("通知账户更新", NTUser, {TVarRec::Text("u0")});
    ASSERT_TRUE(gate.WaitEntered());
    poller.AppendNotifyTask("通知账户更新", NTUser, {TVarRec::Text("u1")});
    poller.AppendNotifyTask("通知账户更新", NTUser, {TVarRec::Text("u2")});
    gate.Open();
    ASSERT_TRUE(Port.WaitForLog("用户登录通知已送达！", 3));
    std::lock_guard<std::mutex> guard(orderLock);
    EXPECT_EQ(order, (std::vector<std::string>{"u0", "u2", "u1"}));
}

TEST_F(MessagePollerTest, StopCutsARetryWaitShort) {
    TAsyGetMessage::TTimings timings;
    timings.RetryInterval = std::chrono::hours(1);
    TAsyGetMessage poller(Port, Registry, timings);
    poller.AppendNotifyTask("通知账户更新", NTUser, {TVarRec::Text("u")});
    ASSERT_TRUE(Port.WaitForLog("未找到用户登录通知函数，稍候重试！"));
    poller.Stop();
    EXPECT_EQ(Port.LogCount("用户登录通知开始[len=1]！"), 1u);
}

TEST_F(MessagePollerTest, FailureToObtainAContextIsReportedAsNotQueued) {
    TAsyGetMessage poller(Port, Registry, FakeClock());
    Port.SetNoContexts();
    EXPECT_FALSE(poller.AppendNotifyTask("后台拉消息", NTMsg, kFetchArgs));
    EXPECT_TRUE(Port.HasLog("添加异步执行[后台拉消息]失败！"));
    EXPECT_EQ(poller.PendingCount(), 0u);
}

TEST(ProcessWideWorkers, StartOnFirstUseAndStopAtShutdown) {
    SetAsyncWorkerServices(nullptr, nullptr);
    EXPECT_FALSE(AppendNotifyTask("通知账户更新", NTUser, {TVarRec::Text("u")}));
    EXPECT_THROW(GetAsyRunTask(), std::logic_error);

    static TFakePort port;
    static TFakeFiles files;
    static TActionRegistry registry(port, files);
    registry.InitAllModules(TestClasses());
    SetAsyncWorkerServices(&port, &registry);
    port.SetPage([](const TPageCall&) { return true; });

    EXPECT_TRUE(AppendNotifyTask("通知账户更新", NTUser, {TVarRec::Text("u")}));
    ASSERT_TRUE(port.WaitForLog("用户登录通知已送达！"));
    EXPECT_EQ(&GetAsyGetMessage(), &GetAsyGetMessage());

    TOwnedContext page(4, 1);
    EXPECT_EQ(registry.CallActionFun("app.login", page.Wrap()), CLAsync);
    ASSERT_TRUE(port.WaitForAnswers(1));

    StopAsyncWorkers();
    EXPECT_EQ(port.LogCount("异步任务线程已退出！"), 1u);
    EXPECT_EQ(page->RefCount(), 1u);
}
