// The host's answers to page events and window messages, in-process over a real host context with
// the "sys" service registered, fakes for the framework and a recording dispatch port.
#include "HostTestSupport.h"

#include "foundation/TextCodec.h"
#include "host/HostServices.h"
#include "host/MainFormEvents.h"
#include "support/FakeAppContext.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace hosttest;

namespace {
class TQuietSplash final : public ISplashForm {
public:
    void Close() override {}
};

class TRecordingPort final : public IDispatchPort {
public:
    struct TAnswer {
        int32_t WebId;
        int32_t CallerNo;
        std::string Text;
    };
    std::vector<TAnswer> Answers;
    std::vector<TFakeAppContext*> Made;
    TFwRef<IAppContext> GetAppContext() override {
        TFakeAppContext* context = TFakeAppContext::Create();
        context->AddRef();
        Made.push_back(context);
        return TFwRef<IAppContext>(context);
    }
    void AppendParams(IJsCallerInf& params, const TVarArgs& args) override {
        for (const TVarRec& arg : args)
            params.AddStrParam(jptText, Utf8ToAnsi(arg.VText).c_str());
    }
    bool CallJsFunction(int32_t webId, int32_t callerNo, const std::string& answer) override {
        Answers.push_back({webId, callerNo, answer});
        return true;
    }
    bool CallRegisterFun(const std::string&, const TVarArgs&) override { return false; }
    void WriteLog(const std::string&) override {}
    ~TRecordingPort() {
        for (TFakeAppContext* context : Made)
            context->Release();
    }
};

// Keeps what reaches the background runner, as the runner would, without running it.
class TKeepingRunner final : public ITaskRunner {
public:
    std::vector<TCallerContextPtr> Tasks;
    bool AppendTask(TActionService*, PMethodInfo, TCallerContextPtr aContext, const TServiceClass*) override {
        Tasks.push_back(std::move(aContext));
        return true;
    }
};

class TFakeServices final : public IMainWindowServices {
public:
    TOnMainBrowserEvent Hook = nullptr;
    TOnAppWakeUp WakeUp{nullptr, nullptr};
    uint32_t Tick = 1000;
    int64_t WallClock = 1700000000000LL + 8LL * 3600 * 1000;
    bool AllowTermination = false;
    int Terminations = 0;
    int TerminationRequests = 0;
    std::vector<std::string> Messages;
    std::vector<std::pair<int32_t, std::string>> Scripts;
    struct TModal {
        std::string Url;
        bool UseIE;
        std::string Values;
    };
    std::vector<TModal> Modals;
    int32_t ModalResult = 2;

    TOnMainBrowserEvent MainBrowserHook() override { return Hook; }
    TOnAppWakeUp WakeUpHook() override { return WakeUp; }
    // The form's page makes the calls of LoginCalls while the form is open.
    std::vector<std::pair<std::string, int32_t>> LoginCalls;
    std::vector<std::string> LoginResults;
    int32_t FormShowModal(void* userContext, bool bUseIE, const std::string& sUrl,
                          TProcWebBrowserEventEx aWebBrowserEvent, IAppContext* aAppContext) override {
        TFakeAppContext* values = TFakeAppContext::From(aAppContext);
        Modals.push_back({sUrl, bUseIE, values ? values->ValuesJson() : std::string()});
        if (values) values->GetParams()->AddStrParam(jptText, "x");
        for (const auto& [name, callerNo] : LoginCalls) {
            TFakeAppContext* call = TFakeAppContext::Create(callerNo, 55);
            aWebBrowserEvent.Code(aWebBrowserEvent.Data, nullptr, userContext, 1, Utf8ToAnsi(name).c_str(),
                                  call);
            LoginResults.push_back(AnsiToUtf8(call->ResultText()));
            call->Release();
        }
        return ModalResult;
    }
    bool ExecuteJavaScript(int32_t webId, const std::string& script) override {
        Scripts.emplace_back(webId, script);
        return true;
    }
    void ShowMessage(const std::string& text) override { Messages.push_back(text); }
    uint32_t TickCount() override { return Tick; }
    int64_t LocalWallClockMs() override { return WallClock; }
    bool TerminateSelf() override {
        ++Terminations;
        return AllowTermination;
    }
    void RequestAppTermination() override { ++TerminationRequests; }
};

// A window that notes every message it gets.
class TNoteWindow {
public:
    struct TNote {
        UINT Message;
        WPARAM W;
        LPARAM L;
    };
    TNoteWindow() {
        static const ATOM cls = [] {
            WNDCLASSEXW wc{};
            wc.cbSize = sizeof wc;
            wc.lpfnWndProc = &TNoteWindow::Proc;
            wc.hInstance = GetModuleHandleW(nullptr);
            wc.lpszClassName = L"HostEventsNoteWindow";
            return RegisterClassExW(&wc);
        }();
        (void)cls;
        FWindow = CreateWindowExW(WS_EX_TOOLWINDOW, L"HostEventsNoteWindow", L"", WS_POPUP, 0, 0, 0, 0,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), this);
    }
    ~TNoteWindow() { DestroyWindow(FWindow); }
    HWND Get() const { return FWindow; }
    std::vector<TNote> Notes;
    bool Got(UINT message) const {
        for (const TNote& n : Notes)
            if (n.Message == message) return true;
        return false;
    }

private:
    static LRESULT CALLBACK Proc(HWND w, UINT m, WPARAM wp, LPARAM lp) {
        if (m == WM_NCCREATE)
            SetWindowLongPtrW(
                w, GWLP_USERDATA,
                reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lp)->lpCreateParams));
        auto* self = reinterpret_cast<TNoteWindow*>(GetWindowLongPtrW(w, GWLP_USERDATA));
        if (self && m >= WM_USER) self->Notes.push_back({m, wp, lp});
        return DefWindowProcW(w, m, wp, lp);
    }
    HWND FWindow = nullptr;
};

// A host context with the program's services, its events installed, over an application window.
struct TEventsRig {
    explicit TEventsRig(const std::string& tag)
        : Id("EventsTest_" + tag + "_" + std::to_string(GetCurrentProcessId())),
          Rig(tag, R"({"AppID":")" + Id + R"("})") {
        Rig.Folder.Write("ZRAccount.dll", "stand-in");
        SetHostFramework(&Rig.Framework); // what the services read and log through
        TQeltContextSettings settings = Rig.Settings(AppWindow.Get());
        settings.Port = &Port;
        settings.TaskRunner = &Runner;
        Context = std::make_unique<TQeltContext>(settings);
        Events = std::make_unique<TMainFormEvents>(*Context, Services, Times);
        Events->Install();
        EXPECT_TRUE(Context->InitProgram());
    }
    ~TEventsRig() {
        Events.reset();
        Runner.Tasks.clear();
        Context.reset();
        SetHostFramework(nullptr);
    }
    // Fires a main-window event with a fresh call context and answers that context.
    TFakeAppContext* Fire(int32_t type, const std::string& name, int32_t callerNo = 0, int32_t webId = 77,
                          const std::vector<std::string>& params = {}) {
        TFakeAppContext* context = TFakeAppContext::Create(callerNo, webId, Utf8ToAnsi(name));
        for (const std::string& p : params)
            context->GetParams()->AddStrParam(jptText, Utf8ToAnsi(p).c_str());
        Contexts.emplace_back(context);
        Events->OnMainFormEvent(nullptr, Context->Intf(), type, name, context);
        return context;
    }
    bool Logged(const std::string& line) const { return Rig.Framework.Logged(line); }

    std::string Id;
    TTestAppWindow AppWindow;
    TContextRig Rig;
    TRecordingPort Port;
    TKeepingRunner Runner;
    TFakeServices Services;
    TStartTimes Times;
    std::unique_ptr<TQeltContext> Context;
    std::unique_ptr<TMainFormEvents> Events;
    struct TRelease {
        void operator()(TFakeAppContext* c) const { c->Release(); }
    };
    std::vector<std::unique_ptr<TFakeAppContext, TRelease>> Contexts;
};

const std::string kTestAnswer = "这是Test的返回值";

TEST(MainFormPageCalls, ASyncCallIsAnsweredByItsReturnTextAndNamesTheMainPage) {
    TEventsRig rig("sync");
    TFakeAppContext* call = rig.Fire(1, "sys.test", 0, 4321);
    EXPECT_EQ(AnsiToUtf8(call->ResultText()), kTestAnswer);
    EXPECT_TRUE(rig.Port.Answers.empty());
    EXPECT_EQ(call->RefCount(), 1u); // the handler let go of it
    EXPECT_EQ(rig.Context->MainCallerID(), 4321);
    EXPECT_TRUE(rig.Logged("OnMainFormEvent IN sys.test"));
    EXPECT_TRUE(rig.Logged("OnMainFormEvent OUT sys.test"));

    // Only the first page call names the main page.
    rig.Fire(1, "sys.test", 0, 999);
    EXPECT_EQ(rig.Context->MainCallerID(), 4321);
}

TEST(MainFormPageCalls, ACallWithACallbackGoesToTheRunnerUnansweredAndStillHeld) {
    TEventsRig rig("async");
    TFakeAppContext* call = rig.Fire(1, "sys.test", 5, 4321);
    ASSERT_EQ(rig.Runner.Tasks.size(), 1u);
    EXPECT_TRUE(rig.Port.Answers.empty());
    EXPECT_EQ(call->ResultText(), "");
    EXPECT_EQ(call->RefCount(), 2u); // ours and the runner's
}

TEST(MainFormPageCalls, AnUnknownActionGetsNoAnswerAndIsReleased) {
    TEventsRig rig("unknown");
    for (const char* name : {"sys.nothing", "nosuch.test", "Sys.test"}) {
        TFakeAppContext* call = rig.Fire(1, name, 6);
        EXPECT_EQ(call->ResultText(), "") << name;
        EXPECT_EQ(call->RefCount(), 1u) << name;
    }
    EXPECT_TRUE(rig.Port.Answers.empty());
    EXPECT_TRUE(rig.Runner.Tasks.empty());
}

TEST(MainFormPageCalls, ANotificationWithADotIsAPageCall) {
    TEventsRig rig("notify");
    TFakeAppContext* call = rig.Fire(9, "sys.test");
    EXPECT_EQ(AnsiToUtf8(call->ResultText()), kTestAnswer);
}

std::string ValueOf(TFakeAppContext* context, const std::string& name) {
    const char* value = context->GetValues()->GetValue(name.c_str());
    return AnsiToUtf8(value ? value : "");
}

TEST(MainFormPopups, APopupGetsItsSizeAndKeepsItsAddressWithoutAPopupForm) {
    TEventsRig rig("popup");
    TFakeAppContext* event = TFakeAppContext::Create();
    rig.Contexts.emplace_back(event);
    event->GetValues()->SetValue("URL", "https://tax.example/page?a=1");
    rig.Events->OnMainFormEvent(nullptr, nullptr, 2, "", event);
    EXPECT_EQ(ValueOf(event, "Width"), "900");
    EXPECT_EQ(ValueOf(event, "Height"), "600");
    EXPECT_EQ(ValueOf(event, "URL"), "https://tax.example/page?a=1");
    EXPECT_EQ(rig.Context->curUrl(), "https://tax.example/page?a=1");
}

TEST(MainFormPopups, WithAPopupFormThePopupOpensItWithTheEncryptedAddress) {
    TEventsRig rig("popform");
    rig.Context->SetpopFormUrl("https://h/pop.html");
    TFakeAppContext* event = TFakeAppContext::Create();
    rig.Contexts.emplace_back(event);
    event->GetValues()->SetValue("URL", "https://tax.example/page?a=1");
    rig.Events->OnMainFormEvent(nullptr, nullptr, 2, "", event);

    const std::string url = ValueOf(event, "URL");
    const std::string prefix = "https://h/pop.html?url=";
    ASSERT_EQ(url.compare(0, prefix.size(), prefix), 0) << url;
    const std::string encrypted = url.substr(prefix.size());
    EXPECT_FALSE(encrypted.empty());
    EXPECT_EQ(rig.Context->CallActionFun("sys.Dec", TVarArgs{TVarRec::Text(encrypted)}),
              "https://tax.example/page?a=1");
    EXPECT_NE(event->ValuesJson().find(R"("HideHeadBar":true)"), std::string::npos) << event->ValuesJson();
}

TEST(MainFormPageLoads, TheFirstLoadClosesTheSplashShowsTheMainWindowAndTakesTheLoadTime) {
    TEventsRig rig("loaded");
    rig.Context->SetMainFormHD(rig.AppWindow.Get());
    rig.Context->SetSplashForm(std::make_unique<TQuietSplash>());
    rig.Times.StartTick = 400;
    rig.Services.Tick = 1650;
    rig.Fire(3, "");
    EXPECT_EQ(rig.Times.LoadTime.load(), 1250u);
    EXPECT_FALSE(rig.Context->HasSplashForm());
    EXPECT_TRUE(rig.Context->bIsInited());
    EXPECT_EQ(rig.Rig.Framework.ShownForms,
              (std::vector<uintptr_t>{reinterpret_cast<uintptr_t>(rig.AppWindow.Get())}));

    rig.Services.Tick = 9000;
    rig.Fire(3, "");
    EXPECT_EQ(rig.Times.LoadTime.load(), 1250u);
    EXPECT_EQ(rig.Rig.Framework.ShownForms.size(), 1u);
}

TEST(MainFormPageLoads, AfterTheSplashTimedOutTheFirstLoadStillTakesTheLoadTime) {
    TEventsRig rig("timedout");
    rig.Times.StartTick = 100;
    rig.Services.Tick = 2100;
    rig.Fire(3, "");
    EXPECT_EQ(rig.Times.LoadTime.load(), 2000u);
    EXPECT_TRUE(rig.Rig.Framework.ShownForms.empty());
}

TEST(MainFormRequests, AppKeyAnswersWithTheDigestOfIdKeyAndTime) {
    TEventsRig rig("appkey");
    // The product code comes from the account service; the key is empty until one is configured.
    rig.Rig.Framework.Params["DyncConfig/AppCenter/ProductCode"] = "APPC-01";
    TFakeAppContext* plain = rig.Fire(10, "appKey");
    EXPECT_EQ(AnsiToUtf8(plain->ResultText()), AppKeyText("1700000000000", "APPC-01", ""));

    rig.Rig.Framework.Params["DyncConfig/DyncParams/ProductKey"] = HostEncryptString("密钥K");
    TFakeAppContext* keyed = rig.Fire(10, "appKey");
    EXPECT_EQ(AnsiToUtf8(keyed->ResultText()), AppKeyText("1700000000000", "APPC-01", "密钥K"));

    TFakeAppContext* other = rig.Fire(10, "AppKey");
    other->GetParams()->SetResult("before");
    rig.Events->OnMainFormEvent(nullptr, nullptr, 10, "AppKey", other);
    EXPECT_EQ(other->ResultText(), "");
}

TEST(MainFormRequests, OpenLoginShowsTheLoginFormAfterTheEventAndReportsItsResult) {
    TEventsRig rig("login");
    rig.Services.LoginCalls = {{"sys.test", 0}, {"sys.test", 9}, {"OpenLogin", 0}, {"sys.none", 0}};
    rig.Fire(9, "OpenLogin");
    EXPECT_TRUE(rig.Services.Modals.empty()); // posted, not run inside the event
    ASSERT_TRUE(PumpUntil([&] { return !rig.Services.Messages.empty(); }));
    ASSERT_EQ(rig.Services.Modals.size(), 1u);
    EXPECT_EQ(rig.Services.Modals[0].Url, rig.Rig.Folder.Path() + "Forms\\MainForm1.html");
    EXPECT_FALSE(rig.Services.Modals[0].UseIE);
    EXPECT_EQ(rig.Services.Modals[0].Values,
              R"({"Width":500,"Height":400,"HideActionButton":5,"Fixed":true})");
    ASSERT_EQ(rig.Services.Messages.size(), 1u);
    EXPECT_EQ(rig.Services.Messages[0].rfind("iRet=2 count=1 {", 0), 0u) << rig.Services.Messages[0];
    // The form's own page calls: answered by return text, handed to the runner, or ignored.
    EXPECT_EQ(rig.Services.LoginResults, (std::vector<std::string>{kTestAnswer, "", "", ""}));
    EXPECT_EQ(rig.Runner.Tasks.size(), 1u);
    EXPECT_TRUE(rig.Logged("sys.test为同步返回"));

    rig.Fire(9, "getMsg");
    rig.Fire(9, "openlogin");
    PumpUntil([] { return true; });
    EXPECT_EQ(rig.Services.Modals.size(), 1u);
}

void APPFRAME_STDCALL TakeOver(void*, void*, int32_t, const char*, IAppContext*, uint8_t* handled) {
    *handled = 1;
}
void APPFRAME_STDCALL PassOn(void*, void*, int32_t, const char*, IAppContext* context, uint8_t*) {
    context->GetValues()->SetValue("seenByHook", "1");
}

TEST(MainFormHooks, ARequestTheHookTakesOverIsNotRunAgain) {
    TEventsRig rig("hook");
    rig.Services.Hook = &TakeOver;
    TFakeAppContext* taken = rig.Fire(1, "sys.test");
    EXPECT_EQ(taken->ResultText(), "");
    EXPECT_TRUE(rig.Logged("当前请求已经被接管!"));

    rig.Services.Hook = &PassOn;
    TFakeAppContext* passed = rig.Fire(1, "sys.test");
    EXPECT_EQ(ValueOf(passed, "seenByHook"), "1");
    EXPECT_EQ(AnsiToUtf8(passed->ResultText()), kTestAnswer);
    EXPECT_TRUE(rig.Logged("当前请求未被接管，主框架继续处理请求!"));
}

TEST(MainFormHooks, APageLoadClosesTheSplashEvenWhenTheHookTakesItOver) {
    TEventsRig rig("hookload");
    rig.Services.Hook = &TakeOver;
    rig.Context->SetSplashForm(std::make_unique<TQuietSplash>());
    rig.Fire(3, "");
    EXPECT_FALSE(rig.Context->HasSplashForm());
}

LRESULT SendCopyData(HWND target, const void* data, DWORD size) {
    COPYDATASTRUCT block{};
    block.dwData = 0x5A;
    block.cbData = size;
    block.lpData = const_cast<void*>(data);
    return SendMessageW(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&block));
}

TEST(LoginHandOverMessages, EachBadBlockGetsItsResultAndAGoodOneReachesTheAccountService) {
    TEventsRig rig("copydata");
    const HWND window = rig.Context->Handle();
    const std::string notJson = "hello";
    EXPECT_EQ(SendCopyData(window, notJson.c_str(), 6), kHandOverNotJson);
    EXPECT_EQ(SendCopyData(window, nullptr, 0), kHandOverNotJson);
    EXPECT_EQ(SendMessageW(window, WM_COPYDATA, 0, 0), kHandOverNotJson);
    const std::string noToken = R"({"token":"","loginInfo":{"accountId":"a"}})";
    EXPECT_EQ(SendCopyData(window, noToken.c_str(), static_cast<DWORD>(noToken.size() + 1)),
              kHandOverNoToken);
    // Without the account library nothing can take the user: refused, and the buffer is freed.
    const std::string good = R"({"token":"t","loginInfo":{"accountId":"a"}})";
    EXPECT_EQ(SendCopyData(window, good.c_str(), static_cast<DWORD>(good.size())), kHandOverRefused);
    EXPECT_EQ(HandOverBuffers().Count(), 0u);
    EXPECT_TRUE(rig.Logged("收到WM_COPYDATA，dataLen=43"));
    EXPECT_TRUE(rig.Logged("收到WM_COPYDATA，dataLen=0"));
}

TEST(LoginHandOverMessages, PointerMessagesFromOutsideAreIgnoredUntouched) {
    TEventsRig rig("pointers");
    const HWND window = rig.Context->Handle();
    char foreign[16] = "not ours";
    EXPECT_EQ(SendMessageW(window, kMsgUpdateLoginUser, reinterpret_cast<WPARAM>(foreign),
                           reinterpret_cast<LPARAM>(foreign)),
              0);
    EXPECT_EQ(SendMessageW(window, kMsgUpdateLoginUser, 0x12345678, 0x12345678), 0);
    EXPECT_STREQ(foreign, "not ours");
    EXPECT_EQ(SendMessageW(window, kMsgAnswerCaller, 0x12345678, 0), 0);
    TCallerAnswerRecord notOurs;
    notOurs.Context = reinterpret_cast<TCallerContext*>(foreign);
    EXPECT_EQ(SendMessageW(window, kMsgAnswerCaller, reinterpret_cast<WPARAM>(&notOurs), 0), 0);
    EXPECT_STREQ(foreign, "not ours");
    EXPECT_TRUE(rig.Port.Answers.empty());
    // The internal requests without an account or message service do nothing, quietly.
    EXPECT_EQ(SendMessageW(window, kMsgReserved, 1, 2), 0);
    EXPECT_EQ(SendMessageW(window, kMsgInitMessageCentre, 0, 0), 0);
}

TEST(LoginHandOverMessages, ARecordNamingALiveCallerContextIsAnsweredUntilTheContextIsReleased) {
    TEventsRig rig("record");
    rig.Fire(1, "sys.test", 12, 3456);
    ASSERT_EQ(rig.Runner.Tasks.size(), 1u);
    rig.Runner.Tasks[0]->FRetValue = "done";
    TCallerAnswerRecord record;
    record.Context = rig.Runner.Tasks[0].Get();
    const WPARAM recordAddress = reinterpret_cast<WPARAM>(&record);
    EXPECT_EQ(SendMessageW(rig.Context->Handle(), kMsgAnswerCaller, recordAddress, 0), kCallerAnswered);
    ASSERT_EQ(rig.Port.Answers.size(), 1u);
    EXPECT_EQ(rig.Port.Answers[0].WebId, 3456);
    EXPECT_EQ(rig.Port.Answers[0].CallerNo, 12);
    EXPECT_EQ(rig.Port.Answers[0].Text, "done");

    rig.Runner.Tasks.clear(); // the last reference goes
    EXPECT_EQ(SendMessageW(rig.Context->Handle(), kMsgAnswerCaller, recordAddress, 0), 0);
    EXPECT_EQ(rig.Port.Answers.size(), 1u);
}

std::vector<TFwHandle>& WakeUps() {
    static std::vector<TFwHandle> calls;
    return calls;
}
TPasBool APPFRAME_STDCALL HandleWakeUp(void*, int32_t message, TFwHandle caller, int32_t flag,
                                       TFwHandle main) {
    WakeUps() = {static_cast<TFwHandle>(message), caller, static_cast<TFwHandle>(flag), main};
    return TPasBool{0xABCDEF01u}; // true in AL, garbage above it
}

TEST(InstanceMessages, CodeTwoAnswersWithCodeOneEvenWhenTheWakeUpHookHandlesIt) {
    TEventsRig rig("code2");
    TNoteWindow other;
    rig.Context->SetMainFormHD(rig.AppWindow.Get());
    WakeUps().clear();
    rig.Services.WakeUp.Code = &HandleWakeUp;
    const UINT message = rig.Context->RegisteredMessage();
    SendMessageW(rig.AppWindow.Get(), message, kInstanceStarted, reinterpret_cast<LPARAM>(other.Get()));
    ASSERT_TRUE(PumpUntil([&] { return other.Got(message); }));
    EXPECT_EQ(other.Notes[0].W, kInstanceAnswer);
    EXPECT_EQ(other.Notes[0].L, reinterpret_cast<LPARAM>(rig.AppWindow.Get()));
    EXPECT_EQ(WakeUps(), (std::vector<TFwHandle>{message, reinterpret_cast<TFwHandle>(other.Get()), 1,
                                                 reinterpret_cast<TFwHandle>(rig.AppWindow.Get())}));
}

TEST(InstanceMessages, CodeTwoLeavesAMainWindowStillHiddenBehindTheSplashHidden) {
    TEventsRig rig("code2hidden");
    TNoteWindow other;
    rig.Context->SetMainFormHD(rig.AppWindow.Get());
    SendMessageW(rig.AppWindow.Get(), rig.Context->RegisteredMessage(), kInstanceStarted,
                 reinterpret_cast<LPARAM>(other.Get()));
    EXPECT_FALSE(IsWindowVisible(rig.AppWindow.Get()));
}

TEST(InstanceMessages, CodeThreeAnswersWhoIsThereWithTheContextWindow) {
    TEventsRig rig("code3");
    TNoteWindow asker;
    SendMessageW(rig.AppWindow.Get(), rig.Context->RegisteredMessage(), kInstancePresence,
                 reinterpret_cast<LPARAM>(asker.Get()));
    ASSERT_TRUE(PumpUntil([&] { return asker.Got(kMsgPresenceAnswer); }));
    EXPECT_EQ(asker.Notes[0].W, kInstancePresence);
    EXPECT_EQ(asker.Notes[0].L, reinterpret_cast<LPARAM>(rig.Context->Handle()));
}

TEST(InstanceMessages, CodeFourAsksTheMainPageToOpenHelp) {
    TEventsRig rig("code4");
    rig.Context->SetMainCallerID(2222);
    SendMessageW(rig.AppWindow.Get(), rig.Context->RegisteredMessage(), kInstanceHelp, 0);
    ASSERT_EQ(rig.Services.Scripts.size(), 1u);
    EXPECT_EQ(rig.Services.Scripts[0], (std::pair<int32_t, std::string>{2222, "isNeedHelp();"}));
}

TEST(InstanceMessages, CodeOneWithoutAWindowDoesNothing) {
    TEventsRig rig("code1none");
    EXPECT_EQ(SendMessageW(rig.AppWindow.Get(), rig.Context->RegisteredMessage(), kInstanceAnswer, 0), 0);
    EXPECT_EQ(rig.Services.Terminations, 0);
    EXPECT_TRUE(rig.Context->HasInstanceMutex());
}

TEST(InstanceMessages, CodeOneEndsTheInstanceAndFallsBackToEndingTheLoopWhenRefused) {
    TEventsRig rig("code1");
    TNoteWindow running;
    SendMessageW(rig.AppWindow.Get(), rig.Context->RegisteredMessage(), kInstanceAnswer,
                 reinterpret_cast<LPARAM>(running.Get()));
    EXPECT_EQ(rig.Services.Terminations, 1);
    EXPECT_EQ(rig.Services.TerminationRequests, 1);
    EXPECT_FALSE(rig.Context->HasInstanceMutex());
    // The application window has its own procedure back.
    EXPECT_EQ(SendMessageW(rig.AppWindow.Get(), TTestAppWindow::kPlainMessage, 0, 0),
              TTestAppWindow::kPlainAnswer);
    EXPECT_EQ(GetWindowLongPtrW(rig.AppWindow.Get(), GWLP_WNDPROC),
              reinterpret_cast<LONG_PTR>(&TTestAppWindow::Proc));
}

} // namespace
