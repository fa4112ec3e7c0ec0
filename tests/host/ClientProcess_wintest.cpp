// The client as a whole: AppFrameMain.exe started under Wine from its own copy of the program
// folder, with the stand-in web framework playing the pages.
#include "ClientRig.h"

#include "device/LocalEnv.h"
#include "foundation/TextCodec.h"
#include "host/HostMessages.h"
#include "host/HostServices.h"
#include "services/Sys.h"
#include "support/FakeAppContext.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace clienttest;

namespace {

constexpr DWORD kForcedExit = 0xFFFFFFFFu;

// The page scenario step that fires a page call.
std::string Call(const std::string& name, int callerNo, const std::string& param = "") {
    std::string step = R"({"do":"event","name":")" + name + R"(","callerNo":)" + std::to_string(callerNo);
    if (!param.empty()) step += R"(,"paramTypes":[4],"paramValues":[")" + param + R"("])";
    return step + "}";
}

std::string Scenario(const std::vector<std::string>& steps) {
    std::string json = R"({"steps":[)";
    for (size_t i = 0; i < steps.size(); ++i)
        json += (i ? "," : "") + steps[i];
    return json + "]}";
}

// Runs one sys action in this process, as the client's service would.
std::string RunSys(std::string (TSys::*action)(TCallerContext*), const std::string& param) {
    TFakeAppContext* raw = TFakeAppContext::Create();
    raw->GetParams()->AddStrParam(jptText, Utf8ToAnsi(param).c_str());
    TSys sys;
    std::string answer;
    {
        TCallerContextPtr context = TCallerContext::Create(raw);
        answer = (sys.*action)(context.Get());
    }
    raw->Release();
    return answer;
}

JsonRef AnswerTo(const TClientFolder& folder, int callerNo) {
    for (const JsonRef& line : folder.TranscriptOf("answer"))
        if (line->GetI("callerNo") == callerNo) return line;
    return nullptr;
}

JsonRef EventDone(const TClientFolder& folder, const std::string& name, size_t nth = 0) {
    for (const JsonRef& line : folder.TranscriptOf("eventDone"))
        if (line->GetS("name") == name && nth-- == 0) return line;
    return nullptr;
}

HWND MainForm(const TClientFolder& folder) {
    const JsonRef line = folder.WaitForTranscript("initMainForm");
    return line ? reinterpret_cast<HWND>(static_cast<intptr_t>(line->GetI("form"))) : nullptr;
}

// Starts a client whose message loop is running (its first page event has been handled).
std::unique_ptr<TClientProcess> StartRunning(const TClientFolder& folder) {
    folder.SetScenario(Scenario({Call("sys.test", 0)}));
    auto client = folder.Start();
    if (client) folder.WaitForTranscript("eventDone");
    return client;
}

void CloseClient(const TClientFolder& folder, TClientProcess& client) {
    PostMessageW(MainForm(folder), WM_CLOSE, 0, 0);
    EXPECT_EQ(client.WaitForExit(), 0u);
}

TEST(ClientPageCalls, EverySysActionAnswersThePageByCallerNumberOrByReturnText) {
    TClientFolder folder(L"calls");
    const std::string encrypted = RunSys(&TSys::EncryptStr, "abc");
    folder.SetParams(R"({"params":{"AppFrame":{"System":{"PopForm":"https://h/pop.html"}}}})");
    folder.SetScenario(Scenario({
        R"({"do":"event","type":3})",
        Call("sys.test", 1),
        Call("sys.test", 0),
        Call("sys.Enc", 2, "abc"),
        Call("sys.Dec", 3, encrypted),
        Call("sys.Dec", 0, encrypted),
        Call("sys.Status", 4, "InitTime"),
        Call("sys.A2", 5, "{}"),
        Call("sys.nothing", 6),
        Call("nosuch.action", 7),
        Call("sys.EncryptStr", 8, "abc"),
        R"({"do":"event","type":2,"values":{"URL":"https://tax.example/p?a=1"}})",
    }));
    auto client = folder.Start();
    ASSERT_TRUE(client);
    ASSERT_TRUE(
        folder.WaitForTranscript("eventDone", [](const JsonRef& line) { return line->GetI("type") == 2; }));
    for (int callerNo = 1; callerNo <= 5; ++callerNo)
        EXPECT_TRUE(folder.WaitForTranscript("answer", [&](const JsonRef& line) {
            return line->GetI("callerNo") == callerNo;
        })) << callerNo;
    CloseClient(folder, *client);

    const JsonRef test = AnswerTo(folder, 1);
    ASSERT_TRUE(test);
    EXPECT_EQ(test->GetS("text"), "这是Test的返回值");
    EXPECT_EQ(EventDone(folder, "sys.test", 1)->GetS("result"), "这是Test的返回值");
    ASSERT_TRUE(AnswerTo(folder, 2));
    EXPECT_EQ(RunSys(&TSys::DecryptStr, AnswerTo(folder, 2)->GetS("text")), "abc");
    ASSERT_TRUE(AnswerTo(folder, 3));
    EXPECT_EQ(AnswerTo(folder, 3)->GetS("text"), "abc");
    EXPECT_EQ(EventDone(folder, "sys.Dec", 1)->GetS("result"), "abc");
    ASSERT_TRUE(AnswerTo(folder, 4));
    const std::string initTime = AnswerTo(folder, 4)->GetS("text");
    EXPECT_FALSE(initTime.empty());
    EXPECT_EQ(initTime.find_first_not_of("0123456789"), std::string::npos) << initTime;
    EXPECT_TRUE(AnswerTo(folder, 5));
    // Unknown services and actions, and method names that are not exported, get no answer.
    EXPECT_FALSE(AnswerTo(folder, 6));
    EXPECT_FALSE(AnswerTo(folder, 7));
    EXPECT_FALSE(AnswerTo(folder, 8));

    // The first page load closed the splash and showed the main window.
    const std::vector<JsonRef> shown = folder.TranscriptOf("show");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]->GetI("form"), folder.TranscriptOf("initMainForm")[0]->GetI("form"));

    const JsonRef popup =
        folder.WaitForTranscript("eventDone", [](const JsonRef& line) { return line->GetI("type") == 2; });
    const JsonRef popupValues = popup->GetO("values");
    ASSERT_TRUE(popupValues);
    const std::string url = popupValues->GetS("URL");
    const std::string prefix = "https://h/pop.html?url=";
    ASSERT_EQ(url.compare(0, prefix.size(), prefix), 0) << url;
    EXPECT_EQ(RunSys(&TSys::DecryptStr, url.substr(prefix.size())), "https://tax.example/p?a=1");
    EXPECT_TRUE(popupValues->GetB("HideHeadBar"));
    EXPECT_EQ(popupValues->GetS("Width"), "900");
    EXPECT_EQ(popupValues->GetS("Height"), "600");

    EXPECT_NE(folder.FrameworkLog().find("OnMainFormEvent IN sys.Enc"), std::string::npos);
    EXPECT_NE(folder.DailyLog().find("PeakWorkingSetSize="), std::string::npos);
}

// The time stamp of an "appKey" answer, and the answer rebuilt from it.
void ExpectAppKey(const JsonRef& done, const std::string& productKey) {
    ASSERT_TRUE(done);
    const std::string answer = done->GetS("result");
    const JsonRef parsed = ParseJson(answer);
    ASSERT_TRUE(parsed) << answer;
    EXPECT_EQ(answer, AppKeyText(parsed->GetS("timeStamp"), "", productKey));
}

TEST(ClientPageCalls, AppKeyIsAnsweredWithAndWithoutAProductKey) {
    TClientFolder folder(L"appkey");
    folder.SetScenario(Scenario({
        R"({"do":"event","type":10,"name":"appKey"})",
        R"({"do":"setParam","cfgType":"DyncConfig","section":"DyncParams","key":"ProductKey","value":")" +
            HostEncryptString("K-密钥") + R"("})",
        R"({"do":"event","type":10,"name":"appKey"})",
        R"({"do":"event","type":10,"name":"other"})",
        R"({"do":"close"})",
    }));
    auto client = folder.Start();
    ASSERT_TRUE(client);
    EXPECT_EQ(client->WaitForExit(), 0u);
    ExpectAppKey(EventDone(folder, "appKey", 0), "");
    ExpectAppKey(EventDone(folder, "appKey", 1), "K-密钥");
    ASSERT_TRUE(EventDone(folder, "other"));
    EXPECT_EQ(EventDone(folder, "other")->GetS("result"), "");
}

LRESULT SendCopyData(HWND target, const void* data, DWORD size) {
    COPYDATASTRUCT block{};
    block.cbData = size;
    block.lpData = const_cast<void*>(data);
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&block), SMTO_NORMAL,
                             kPatienceMs, &result))
        return -1;
    return static_cast<LRESULT>(result);
}

LRESULT SendTo(HWND target, UINT message, WPARAM wParam, LPARAM lParam) {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(target, message, wParam, lParam, SMTO_NORMAL, kPatienceMs, &result)) return -1;
    return static_cast<LRESULT>(result);
}

HWND ContextWindow(DWORD pid) {
    const HWND application = FindProcessWindow(pid, L"TAppFrameApplication");
    return application ? FindWindowExW(application, nullptr, L"TQeltContext", nullptr) : nullptr;
}

TEST(ClientMessages, LoginHandOversFromAnotherProcessGetTheirResults) {
    TClientFolder folder(L"copydata");
    auto client = StartRunning(folder);
    ASSERT_TRUE(client);
    const HWND context = ContextWindow(client->Pid());
    ASSERT_TRUE(context);

    auto send = [&](const std::string& text, bool withZero = true) {
        return SendCopyData(context, text.c_str(), static_cast<DWORD>(text.size() + (withZero ? 1 : 0)));
    };
    EXPECT_EQ(send("no json here"), kHandOverNotJson);
    EXPECT_EQ(send(R"({"loginInfo":{"accountId":"a"}})"), kHandOverNoToken);
    EXPECT_EQ(send(R"({"token":"","loginInfo":{"accountId":"a"}})"), kHandOverNoToken);
    EXPECT_EQ(send(R"({"token":"t"})"), kHandOverNoLoginInfo);
    EXPECT_EQ(send(R"({"token":"t","loginInfo":{}})"), kHandOverNoAccountId);
    EXPECT_EQ(SendCopyData(context, nullptr, 0), kHandOverNotJson);
    // A block without its zero byte is read within its size only: cut short, it is not JSON.
    const std::string whole = R"({"token":"t","loginInfo":{"accountId":"a"}})";
    EXPECT_EQ(SendCopyData(context, whole.c_str(), static_cast<DWORD>(whole.size() - 2)), kHandOverNotJson);
    // Complete blocks reach the account service; the stand-in library knows no account "a".
    EXPECT_EQ(send(whole, false), kHandOverRefused);
    EXPECT_EQ(send(whole + std::string(1, '\0') + "trailing bytes"), kHandOverRefused);

    // Pointers are meaningless across processes: they are ignored, and the client lives on.
    EXPECT_EQ(SendTo(context, kMsgUpdateLoginUser, 0x00402000, 0x00402000), 0);
    EXPECT_EQ(SendTo(context, kMsgUpdateLoginUser, 0x7FFE1234, 0x7FFE1234), 0);
    EXPECT_EQ(SendTo(context, kMsgAnswerCaller, 0x00402000, 0), 0);
    EXPECT_EQ(SendTo(context, kMsgAnswerCaller, 0xDEAD0000, 0), 0);
    EXPECT_TRUE(client->Running());
    EXPECT_EQ(send(R"({"token":"t"})"), kHandOverNoLoginInfo);

    const std::string log = folder.FrameworkLog();
    EXPECT_NE(log.find("收到WM_COPYDATA，dataLen=12"), std::string::npos);
    EXPECT_NE(log.find("收到WM_COPYDATA，dataLen=" + std::to_string(whole.size() - 2)), std::string::npos);
    CloseClient(folder, *client);
}

TEST(ClientMessages, AHandedOverLogInReachesThePageAsUserLoginNotify) {
    TClientFolder folder(L"handover");
    folder.Write(L"ZRAccount.json",
                 R"({"accounts":[{"loginName":"zhang","password":"pw","accountId":"ACC-1","token":"TOK-1",)"
                 R"("userInfo":{"name":"张三"}},{"loginName":"li","password":"pw","accountId":"ACC-2",)"
                 R"("token":"TOK-2","userInfo":{"name":"李四"}}]})");
    folder.SetScenario(Scenario({R"({"do":"registerFun","name":"UserLoginNotify"})", Call("sys.test", 0)}));
    auto client = folder.Start();
    ASSERT_TRUE(client);
    ASSERT_TRUE(folder.WaitForTranscript("eventDone"));
    const HWND context = ContextWindow(client->Pid());
    ASSERT_TRUE(context);
    auto send = [&](const std::string& text) {
        return SendCopyData(context, text.c_str(), static_cast<DWORD>(text.size() + 1));
    };

    EXPECT_EQ(send(R"({"token":"TOK-9","loginInfo":{"accountId":"ACC-1"}})"), kHandOverDone);
    const JsonRef notified = folder.WaitForTranscript(
        "callRegisterFun", [](const JsonRef& line) { return line->GetS("name") == "UserLoginNotify"; });
    ASSERT_TRUE(notified);
    EXPECT_TRUE(notified->GetB("found"));
    const JsonRef params = notified->GetO("params");
    const JsonRef values = params ? params->GetO("paramValues") : nullptr;
    ASSERT_TRUE(values);
    ASSERT_EQ(values->Length(), 1u);
    const JsonRef info = ParseJson(values->S(0));
    ASSERT_TRUE(info) << values->S(0);
    EXPECT_EQ(info->GetS("name"), "张三");
    EXPECT_EQ(info->GetS("accountId"), "ACC-1");

    // While that account is signed in, another one handed over is refused.
    EXPECT_EQ(send(R"({"token":"TOK-2","loginInfo":{"accountId":"ACC-2"}})"), kHandOverRefused);
    CloseClient(folder, *client);
    const std::string log = folder.FrameworkLog();
    EXPECT_NE(log.find("设置AppID=" + folder.AppId()), std::string::npos);
    EXPECT_NE(log.find("UpdateLoginUser成功"), std::string::npos);
    EXPECT_NE(log.find("UpdateLoginUser当前用户更新被忽略(AccountID不相同)"), std::string::npos);
}

TEST(ClientMessages, TheLoginFormOpensModallyAndItsResultIsReported) {
    TClientFolder folder(L"login");
    auto client = StartRunning(folder);
    ASSERT_TRUE(client);
    const HWND context = ContextWindow(client->Pid());
    ASSERT_TRUE(context);
    const HWND mainForm = MainForm(folder);
    ASSERT_TRUE(PostMessageW(context, kMsgShowLoginForm, 0, 0));

    HWND loginForm = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        return (loginForm = FindProcessWindow(client->Pid(), L"AppFwStubForm", mainForm)) != nullptr;
    }));
    PostMessageW(loginForm, WM_CLOSE, 0, 0);
    // The form's result, then the count and the text of the context's parameter list.
    EXPECT_EQ(CloseMessageBox(client->Pid()),
              R"(iRet=2 count=0 {"CallerNo":0,"WebID":0,"FunName":"","paramTypes":[],"paramValues":[]})");

    const JsonRef modal = folder.WaitForTranscript("formShowModal");
    ASSERT_TRUE(modal);
    EXPECT_EQ(modal->GetS("url"), folder.PathUtf8() + "Forms\\MainForm1.html");
    EXPECT_FALSE(modal->GetB("useIE"));
    EXPECT_EQ(PrintJson(modal->GetO("values")),
              R"({"Width":500,"Height":400,"HideActionButton":5,"Fixed":true})");
    CloseClient(folder, *client);
}

TEST(ClientInstances, ASecondInstanceIsRefusedAndTheFirstAnswersIt) {
    TClientFolder folder(L"second");
    auto first = StartRunning(folder);
    ASSERT_TRUE(first);
    const HWND mainForm = MainForm(folder);

    auto second = folder.Start();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->WaitForExit(), kForcedExit);
    ASSERT_TRUE(WaitUntil([&] { return folder.FrameworkLog().find("收到Restore") != std::string::npos; }));
    const std::string log = folder.FrameworkLog();
    const std::string answer = "，返回：" + std::to_string(reinterpret_cast<intptr_t>(mainForm));
    EXPECT_NE(log.find(answer), std::string::npos) << log;
    EXPECT_TRUE(first->Running());
    CloseClient(folder, *first);
}

// A window of this test that notes the messages it gets.
class TAskerWindow {
public:
    TAskerWindow() {
        static const ATOM cls = [] {
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = &Proc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"ClientTestAsker";
            return RegisterClassExW(&wc);
        }();
        (void)cls;
        FWindow = CreateWindowExW(WS_EX_TOOLWINDOW, L"ClientTestAsker", L"", WS_POPUP, 0, 0, 0, 0, nullptr,
                                  nullptr, GetModuleHandleW(nullptr), nullptr);
        Notes().clear();
    }
    ~TAskerWindow() { DestroyWindow(FWindow); }
    HWND Get() const { return FWindow; }
    struct TNote {
        UINT Message;
        WPARAM W;
        LPARAM L;
    };
    static std::vector<TNote>& Notes() {
        static std::vector<TNote> notes;
        return notes;
    }

private:
    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        if (m >= WM_USER) Notes().push_back({m, wp, lp});
        return DefWindowProcW(w, m, wp, lp);
    }
    HWND FWindow = nullptr;
};

TEST(ClientInstances, TheRunningInstanceAnswersStartAndPresenceMessagesOfOtherPrograms) {
    TClientFolder folder(L"asker");
    auto client = StartRunning(folder);
    ASSERT_TRUE(client);
    const HWND mainForm = MainForm(folder);
    const HWND application = FindProcessWindow(client->Pid(), L"TAppFrameApplication");
    ASSERT_TRUE(application);
    const UINT message = RegisterWindowMessageW(Widen(folder.AppId()).c_str());
    TAskerWindow asker;

    PostMessageW(application, message, kInstanceStarted, reinterpret_cast<LPARAM>(asker.Get()));
    ASSERT_TRUE(WaitUntil([&] { return !TAskerWindow::Notes().empty(); }));
    EXPECT_EQ(TAskerWindow::Notes()[0].Message, message);
    EXPECT_EQ(TAskerWindow::Notes()[0].W, kInstanceAnswer);
    EXPECT_EQ(TAskerWindow::Notes()[0].L, reinterpret_cast<LPARAM>(mainForm));

    // Code 1 with no window is not an answer to anything; the instance is still there to answer
    // the presence query posted after it.
    TAskerWindow::Notes().clear();
    PostMessageW(application, message, kInstanceAnswer, 0);
    PostMessageW(application, message, kInstancePresence, reinterpret_cast<LPARAM>(asker.Get()));
    ASSERT_TRUE(WaitUntil([&] { return !TAskerWindow::Notes().empty(); }));
    EXPECT_EQ(TAskerWindow::Notes()[0].Message, kMsgPresenceAnswer);
    EXPECT_EQ(TAskerWindow::Notes()[0].W, kInstancePresence);
    EXPECT_EQ(TAskerWindow::Notes()[0].L, reinterpret_cast<LPARAM>(ContextWindow(client->Pid())));
    EXPECT_TRUE(client->Running());
    CloseClient(folder, *client);
}

TEST(ClientInstances, OfTwoInstancesStartedAtOnceExactlyOneRemains) {
    TClientFolder folder(L"race");
    folder.SetScenario(Scenario({Call("sys.test", 0)}));
    auto a = folder.Start();
    auto b = folder.Start();
    ASSERT_TRUE(a && b);
    HANDLE both[] = {a->Handle(), b->Handle()};
    const DWORD first = WaitForMultipleObjects(2, both, FALSE, kPatienceMs);
    ASSERT_TRUE(first == WAIT_OBJECT_0 || first == WAIT_OBJECT_0 + 1);
    TClientProcess& refused = first == WAIT_OBJECT_0 ? *a : *b;
    TClientProcess& survivor = first == WAIT_OBJECT_0 ? *b : *a;
    EXPECT_EQ(refused.WaitForExit(), kForcedExit);
    ASSERT_TRUE(folder.WaitForTranscript("eventDone"));
    EXPECT_TRUE(survivor.Running());
    EXPECT_EQ(folder.TranscriptOf("initMainForm").size(), 1u);
    CloseClient(folder, survivor);
}

TEST(ClientStart, ABrowserSubProcessOnlyStartsTheFrameworkAndNeverTakesTheInstance) {
    TClientFolder folder(L"subproc");
    auto first = StartRunning(folder);
    ASSERT_TRUE(first);
    // With an instance of the same id running, a client would be refused; a sub-process is not.
    auto sub = folder.Start(L"--type=renderer --lang=zh-CN --prefetch:1");
    ASSERT_TRUE(sub);
    EXPECT_EQ(sub->WaitForExit(), 0u);
    const std::vector<JsonRef> starts = folder.TranscriptOf("initWebCore");
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_TRUE(starts[1]->GetB("isMainForm"));
    EXPECT_EQ(starts[1]->GetS("mainFest"), "");
    EXPECT_NE(starts[1]->GetI("appHD"), 0);
    EXPECT_EQ(folder.TranscriptOf("updateApp").size(), 1u);
    EXPECT_EQ(folder.TranscriptOf("initMainForm").size(), 1u);
    EXPECT_EQ(folder.FrameworkLog().find("收到Restore"), std::string::npos);

    CloseClient(folder, *first);
    // Only the client wrote the lines of its later steps.
    const std::string daily = folder.DailyLog();
    const size_t start = daily.find("AppFrameMain: client start");
    ASSERT_NE(start, std::string::npos);
    EXPECT_EQ(daily.find("AppFrameMain: client start", start + 1), std::string::npos);
    const size_t end = daily.find("AppFrameMain: end");
    ASSERT_NE(end, std::string::npos);
    EXPECT_EQ(daily.find("AppFrameMain: end", end + 1), std::string::npos);
}

TEST(ClientStart, TheTaxpayerRecordsAreWipedAndTheEmergencyHelperStartsHidden) {
    TClientFolder folder(L"records");
    folder.CopyFromProgram(L"SiblingProgram.exe", L"WLEmergency.exe");
    folder.SetScenario(Scenario({R"({"do":"close"})"}));
    const std::wstring records = Widen(CompanyRecordFile());
    const bool existed = FileExists(records);
    const std::string saved = existed ? ReadWholeFile(records) : std::string();
    CreateFolders(records.substr(0, records.find_last_of(L'\\') + 1));
    WriteWholeFile(records, "[Keep]\r\nA=1\r\n[LastNsrInfo]\r\nnsrsbh=111\r\n[Other]\r\nB=2\r\n"
                            "[CurNsrInfo]\r\nnsrsbh=222\r\n");

    auto client = folder.Start();
    ASSERT_TRUE(client);
    EXPECT_EQ(client->WaitForExit(), 0u);
    const std::string after = ReadWholeFile(records);
    if (existed)
        WriteWholeFile(records, saved);
    else
        DeleteFileW(records.c_str());
    EXPECT_EQ(after.find("LastNsrInfo"), std::string::npos) << after;
    EXPECT_EQ(after.find("CurNsrInfo"), std::string::npos) << after;
    EXPECT_NE(after.find("[Keep]"), std::string::npos) << after;
    EXPECT_NE(after.find("A=1"), std::string::npos) << after;
    EXPECT_NE(after.find("[Other]"), std::string::npos) << after;
    EXPECT_NE(after.find("B=2"), std::string::npos) << after;

    ASSERT_TRUE(WaitUntil([&] { return !ReadFileLines(folder.SiblingLogPath()).empty(); }));
    const JsonRef started = ParseJson(ReadFileLines(folder.SiblingLogPath())[0]);
    ASSERT_TRUE(started);
    EXPECT_NE(started->GetS("path").find("WLEmergency.exe"), std::string::npos);
    EXPECT_EQ(started->GetO("args")->Length(), 0u);
    EXPECT_EQ(started->GetI("showWindow"), SW_HIDE);
}

TEST(ClientStart, WithoutAManifestStartUpStopsWithAReport) {
    TClientFolder folder(L"nomanifest");
    folder.Remove(L"MainFest.cfg");
    auto client = folder.Start();
    ASSERT_TRUE(client);
    EXPECT_NE(CloseMessageBox(client->Pid()).find("MainFest.cfg"), std::string::npos);
    EXPECT_EQ(client->WaitForExit(), 1u);
    EXPECT_TRUE(folder.TranscriptOf("initWebCore").empty());
    EXPECT_NE(folder.DailyLog().find("start-up stopped"), std::string::npos);
}

} // namespace
