// The task runner and the message poller wired to the framework binding, as in the program, and
// run against the stand-in AppFramework.dll: answers reach page windows through their messages,
// page functions are called through the library's export, and the main log is the library's.
#include "DispatchFakes.h"

#include "foundation/AppLog.h"
#include "foundation/Json.h"
#include "host/HostMessages.h"
#include "host/QeltContext.h"
#include "stubs/AppFramework/StubControl.h"
#include "support/WinTestEnv.h"
#include "webbridge/AppFramework.h"
#include "webbridge/WebBrowserEvent.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using namespace dispatch_test;

namespace {

// The stand-in in a program folder of its own, whose library log nobody else writes. The
// process-wide binding keeps the library it found first, so the folder lives with the process.
const TTestFolder& ProgramCopy() {
    static const TTestFolder folder(L"workers-program");
    static const bool copied =
        CopyTestFile(TestProgramFolder() + L"AppFramework.dll", folder.Path() + L"AppFramework.dll");
    (void)copied;
    return folder;
}

// Page calls of the main form, handled the way the host's main-window handler does.
class TPageCallSink final : public TWebBrowserEventSink {
public:
    explicit TPageCallSink(TActionRegistry& registry) : FRegistry(registry) {}
    void OnWebBrowserEvent(void*, void*, int32_t, const std::string& sEventName,
                           IAppContext* aAppContext) override {
        if (!aAppContext) return;
        const TCallerContextPtr context = TCallerContext::Create(aAppContext);
        AnswerPageCall(FRegistry.CallActionFun(sEventName, context), *context, FRegistry.Port());
    }

private:
    TActionRegistry& FRegistry;
};

// Messages sent by the workers to this thread's windows are handled only inside this loop.
bool PumpUntil(const std::function<bool()>& done) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(kPatience.count()) * 1000;
    for (;;) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (done()) return true;
        if (GetTickCount64() > deadline) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

// Waits without handling any message, so a worker sending to this thread stays where it is.
bool WaitQuietlyUntil(const std::function<bool()>& done) {
    const ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(kPatience.count()) * 1000;
    while (!done()) {
        if (GetTickCount64() > deadline) return false;
        Sleep(20);
    }
    return true;
}

class WorkersAgainstStandIn : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        SetProgramFolderForTests(ProgramCopy().Utf8());
        ResetFrameworkLibPath();
    }
    static void TearDownTestSuite() {
        SetProgramFolderForTests("");
        ResetFrameworkLibPath();
    }

    void SetUp() override {
        Reset();
        FLogStart = LibraryLog().size();
        Registry.InitAllModules(TestClasses());
        Registry.SetTaskRunner(&Runner);
    }
    void TearDown() override {
        Runner.Stop();
        Poller.Stop();
        Reset();
    }

    void Reset() { reinterpret_cast<TStubReset>(LoadLibFunction(GetFrameworkLibPath(), kExpStubReset))(); }
    bool Step(const std::string& json) {
        auto run = reinterpret_cast<TStubRunStep>(LoadLibFunction(GetFrameworkLibPath(), kExpStubRunStep));
        return IsTrue(run(json.c_str()));
    }
    std::vector<JsonRef> Transcript(const std::string& kind) {
        std::vector<JsonRef> out;
        for (const std::string& line : ReadFileLines(FTranscript)) {
            JsonRef v = ParseJson(line);
            if (v && v->GetS("kind") == kind) out.push_back(v);
        }
        return out;
    }
    // The library's log lines (ANSI in the file) as UTF-8 without their time stamps.
    std::vector<std::string> LibraryLog() {
        std::vector<std::string> out;
        for (const std::string& line : ReadFileLines(ProgramCopy().Path() + L"AppFramework.log"))
            out.push_back(AnsiToUtf8(line.size() > 24 ? line.substr(24) : line));
        return out;
    }
    // What this test logged, keeping only the given texts, in order.
    std::vector<std::string> LoggedOf(const std::vector<std::string>& texts) {
        const std::vector<std::string> log = LibraryLog();
        std::vector<std::string> out;
        for (size_t i = FLogStart; i < log.size(); ++i)
            if (std::find(texts.begin(), texts.end(), log[i]) != texts.end()) out.push_back(log[i]);
        return out;
    }
    size_t LoggedCount(const std::string& text) { return LoggedOf({text}).size(); }

    TTestFolder FFolder{L"workers"};
    std::wstring FTranscript = FFolder.Path() + L"transcript.jsonl";
    TScopedEnv FEnvTranscript{L"APPFRAME_STUB_TRANSCRIPT", FTranscript};
    TScopedEnv FEnvParams{L"APPFRAME_STUB_PARAMS", FFolder.Path() + L"none.json"};
    TScopedEnv FEnvScenario{L"APPFRAME_STUB_SCENARIO", FFolder.Path() + L"none.json"};
    size_t FLogStart = 0;
    TFakeFiles Files;
    TActionRegistry Registry{DefaultDispatchPort(), Files};
    TAsyRunTask Runner{DefaultDispatchPort(), Registry};
    TAsyGetMessage Poller{DefaultDispatchPort(), Registry};
    TPageCallSink Sink{Registry};
};

std::string PageEvent(const char* action, int callerNo, const std::string& arg = "") {
    std::string step =
        R"({"do":"event","name":")" + std::string(action) + R"(","callerNo":)" + std::to_string(callerNo);
    if (!arg.empty()) step += R"(,"paramTypes":[4],"paramValues":[")" + arg + R"("])";
    return step + "}";
}

} // namespace

TEST_F(WorkersAgainstStandIn, CallsQueuedWhileTheRunnerIsBusyAreAnsweredToTheirPagesNewestFirst) {
    const TFwHandle main = GetAppFramework().InitMainForm(false, nullptr, Sink.Callback(), "");
    const int64_t page = SendMessageA(reinterpret_cast<HWND>(main), kFwMsgGetWebID, 1, 0);
    ASSERT_NE(page, 0);

    // The runner is held in its first answer: the page window belongs to this thread, which
    // handles no message until the other calls are queued.
    ASSERT_TRUE(Step(PageEvent("app.login", 1, u8"甲")));
    ASSERT_TRUE(WaitQuietlyUntil([&] { return LoggedCount("CallJsFunction iCallerNo=1") == 1; }));
    ASSERT_TRUE(Step(PageEvent("sys.Enc", 2)));
    ASSERT_TRUE(Step(PageEvent("app.login", 3, u8"乙")));
    ASSERT_TRUE(Step(PageEvent("msg.GetMessage", 4)));
    EXPECT_TRUE(Transcript("answer").empty());
    // The events have returned and the library released its contexts; the runner holds its own.
    EXPECT_EQ(Transcript("eventDone").size(), 4u);

    ASSERT_TRUE(PumpUntil([&] { return Transcript("answer").size() >= 4; }));
    const std::vector<JsonRef> answers = Transcript("answer");
    ASSERT_EQ(answers.size(), 4u);
    const std::vector<std::pair<int64_t, std::string>> expected = {
        {1, u8"login:甲"}, {4, "msgs"}, {3, u8"login:乙"}, {2, "enc"}};
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(answers[i]->GetI("callerNo"), expected[i].first) << i;
        EXPECT_EQ(answers[i]->GetS("text"), expected[i].second) << i;
        EXPECT_EQ(answers[i]->GetI("webId"), page) << i;
        EXPECT_TRUE(answers[i]->GetB("ok")) << i;
    }
    ASSERT_TRUE(WaitQuietlyUntil([&] { return LoggedCount("CallJsFunction iCallerNo=2 Result =-1") == 1; }));
    EXPECT_EQ(LoggedOf({"异步任务执行:login[login]TTestAccount", "异步任务执行:Enc[EncryptStr]TTestSys"}),
              (std::vector<std::string>{"异步任务执行:login[login]TTestAccount",
                                        "异步任务执行:login[login]TTestAccount",
                                        "异步任务执行:Enc[EncryptStr]TTestSys"}));
}

TEST_F(WorkersAgainstStandIn, MessagesReachAPageThatDefinesItsFunctionLateAfterTheLoggedRetries) {
    const std::string messages = u8R"([{"标题":"缴税提醒","id":7}])";
    const std::string key = u8"公告,待办";
    TTestMsg::SetAnswer(messages);
    ASSERT_TRUE(Poller.AppendNotifyTask(
        "后台拉消息", NTMsg, {TVarRec::Text(key), TVarRec::Integer(3), TVarRec::Int64(5000000000LL)}));

    // The page defines the function about three seconds after the first attempt failed.
    const std::string retry = "未找到消息通知函数，稍候重试！";
    ASSERT_TRUE(WaitQuietlyUntil([&] { return LoggedCount(retry) >= 1; }));
    ASSERT_TRUE(Step(R"({"do":"registerFun","name":"MessageNotify","delay":3000})"));
    const std::string begin = u8"消息通知开始[" + key + "]！";
    const std::string delivered = u8"消息通知已送达[" + key + "]！";
    ASSERT_TRUE(PumpUntil([&] { return LoggedCount(delivered) == 1; }));

    const std::vector<std::string> logged =
        LoggedOf({"同步拉消息开始！", "同步拉消息结束！", begin, retry, delivered});
    const size_t retries = LoggedCount(retry);
    ASSERT_GE(retries, 1u);
    ASSERT_LT(retries, 20u);
    std::vector<std::string> expected = {"同步拉消息开始！", "同步拉消息结束！"};
    for (size_t i = 0; i < retries; ++i) {
        expected.push_back(begin);
        expected.push_back(retry);
    }
    expected.push_back(begin);
    expected.push_back(delivered);
    EXPECT_EQ(logged, expected);
    EXPECT_EQ(LoggedCount("添加异步执行[后台拉消息]成功"), 1u);

    // Each attempt reached the library with the key and the messages; only the last found the function.
    const std::vector<JsonRef> calls = Transcript("callRegisterFun");
    ASSERT_EQ(calls.size(), retries + 1);
    for (size_t i = 0; i < calls.size(); ++i) {
        EXPECT_EQ(calls[i]->GetS("name"), "MessageNotify");
        EXPECT_EQ(calls[i]->GetB("found"), i == retries) << i;
        JsonRef params = calls[i]->GetO("params");
        ASSERT_TRUE(params);
        EXPECT_EQ(PrintJson(params->GetO("paramTypes")), "[4,4]");
        JsonRef values = params->GetO("paramValues");
        ASSERT_TRUE(values && values->Length() == 2);
        EXPECT_EQ(values->S(0), key);
        EXPECT_EQ(values->S(1), messages);
    }
}

TEST_F(WorkersAgainstStandIn, EntriesWithNothingToPushCallNoPageFunction) {
    ASSERT_TRUE(Step(R"({"do":"registerFun","name":"UserLoginNotify"})"));
    ASSERT_TRUE(Step(R"({"do":"registerFun","name":"MessageNotify"})"));
    ASSERT_TRUE(Poller.AppendNotifyTask("通知账户更新", NTUser, {}));
    ASSERT_TRUE(WaitQuietlyUntil([&] { return Poller.PendingCount() == 0; }));
    // Six bytes in UTF-8 but four in the 8-bit code page: too short to be pushed.
    TTestMsg::SetAnswer(u8"消息");
    ASSERT_TRUE(Poller.AppendNotifyTask("后台拉消息", NTMsg, {TVarRec::Text("1")}));
    ASSERT_TRUE(WaitQuietlyUntil([&] { return Poller.PendingCount() == 0; }));

    // An entry that does notify runs only after the ones before it are done with.
    const std::string info = u8R"({"userName":"张三"})";
    ASSERT_TRUE(
        Poller.AppendNotifyTask("通知账户更新", NTUser, {TVarRec::Text(info, TVarKind::vtAnsiString)}));
    ASSERT_TRUE(PumpUntil([&] { return LoggedCount("用户登录通知已送达！") == 1; }));

    const std::vector<JsonRef> calls = Transcript("callRegisterFun");
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]->GetS("name"), "UserLoginNotify");
    EXPECT_EQ(PrintJson(calls[0]->GetO("params")),
              R"({"paramTypes":[4],"paramValues":["{\"userName\":\"张三\"}"]})");
    EXPECT_EQ(LoggedOf({"用户登录通知开始[len=19]！", "用户登录通知开始[len=21]！"}),
              (std::vector<std::string>{"用户登录通知开始[len=19]！"}))
        << "the length counts bytes of the 8-bit text";
    EXPECT_EQ(LoggedCount("同步拉消息结束！"), 1u);
    EXPECT_EQ(LoggedCount("添加异步执行[通知账户更新]成功"), 2u);
}
