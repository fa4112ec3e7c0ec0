// The stand-in web framework library, loaded as the program loads it: exports by name, the
// window messages of its windows, call contexts, page events and the transcript of answers.
#include "stubs/AppFramework/StubControl.h"
#include "support/FakeAppContext.h"
#include "support/WinTestEnv.h"

#include "foundation/Json.h"
#include "foundation/TextCodec.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

HMODULE Library() {
    // Never freed: its windows and callbacks may outlive any one test.
    static HMODULE lib = LoadLibraryW((TestProgramFolder() + L"AppFramework.dll").c_str());
    return lib;
}

template <class Fn>
Fn Export(const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(Library(), name)));
}

// What the event callback saw.
struct TSeenEvent {
    void* Self = nullptr;
    void* Sender = nullptr;
    void* UserContext = nullptr;
    int32_t Type = -1;
    std::string Name;
    int32_t CallerNo = -1;
    int32_t WebID = 0;
    std::string ParamText;
    std::string Url;
};

struct TEventReceiver {
    std::vector<TSeenEvent> Seen;
    std::string Answer;    // sent back with 2029 when the call waits for it, else set as result
    bool SetWidth = false; // pop-up handling: change a named value
    std::unique_ptr<std::thread> Worker;
    bool AnswerFromWorkerThenTerminate = false;

    static void APPFRAME_STDCALL OnEvent(void* self, void* sender, void* userContext, int32_t type,
                                         const char* name, IAppContext* ctx) {
        auto* me = static_cast<TEventReceiver*>(self);
        TSeenEvent e{self,
                     sender,
                     userContext,
                     type,
                     name ? name : "",
                     ctx->CallerNo(),
                     ctx->WebID(),
                     ctx->GetParams()->ParamText(),
                     ctx->GetValues()->GetValue("URL")};
        me->Seen.push_back(e);
        if (me->SetWidth) ctx->GetValues()->SetIntValue("Width", 900);
        if (me->AnswerFromWorkerThenTerminate) {
            // Workers reach the page only through synchronous messages to its window.
            HWND page = reinterpret_cast<HWND>(static_cast<uintptr_t>(e.WebID));
            int32_t callerNo = e.CallerNo;
            std::string answer = me->Answer;
            me->Worker = std::make_unique<std::thread>([page, callerNo, answer] {
                SendMessageA(page, kFwMsgAnswerCaller, static_cast<WPARAM>(callerNo),
                             reinterpret_cast<LPARAM>(answer.c_str()));
                Export<TAppTerminate>(kExpAppTerminate)();
            });
        } else if (e.CallerNo != 0) {
            SendMessageA(reinterpret_cast<HWND>(static_cast<uintptr_t>(e.WebID)), kFwMsgAnswerCaller,
                         static_cast<WPARAM>(e.CallerNo), reinterpret_cast<LPARAM>(me->Answer.c_str()));
        } else {
            ctx->GetParams()->SetResult(me->Answer.c_str());
        }
    }
    TProcWebBrowserEventEx Callback() { return {&OnEvent, this}; }
};

class StandInFramework : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(Library(), nullptr);
        WriteWholeFile(FParams,
                       u8R"({"params":{"DyncConfig":{"DyncParams":{"ProductCode":"P-01","名称":"税务"}},
                                     "StubUrls":{"answers":{"http://h/x":"payload"}}},
                                     "pageFunctions":["ReadyFun"]})");
        Export<TStubReset>(kExpStubReset)();
    }
    void TearDown() override { Export<TStubReset>(kExpStubReset)(); }

    std::vector<JsonRef> Lines(const std::string& kind = {}) { return ReadJsonLines(FTranscript, kind); }
    bool Step(const std::string& json) { return IsTrue(Export<TStubRunStep>(kExpStubRunStep)(json.c_str())); }
    HWND MainForm(TEventReceiver& r, void* userContext = nullptr) {
        return reinterpret_cast<HWND>(
            Export<TInitMainForm>(kExpInitMainForm)(kPasFalse, userContext, r.Callback(), ""));
    }
    void WriteScenario(const std::string& json) { WriteWholeFile(FScenario, json); }

    TTestFolder FFolder{L"fwstub"};
    std::wstring FTranscript = FFolder.Path() + L"transcript.jsonl";
    std::wstring FParams = FFolder.Path() + L"params.json";
    std::wstring FScenario = FFolder.Path() + L"scenario.json";
    TScopedEnv FEnvTranscript{L"APPFRAME_STUB_TRANSCRIPT", FTranscript};
    TScopedEnv FEnvParams{L"APPFRAME_STUB_PARAMS", FParams};
    TScopedEnv FEnvScenario{L"APPFRAME_STUB_SCENARIO", FScenario};
};

} // namespace

TEST_F(StandInFramework, EveryExportResolvesByItsPlainName) {
    for (const char* name :
         {kExpInitWebCore,       kExpInitApplication,   kExpInitMainForm,     kExpAppRun,
          kExpAppTerminate,      kExpGetMainHandle,     kExpGetWebCoreForm,   kExpGetWebCoreFormEx,
          kExpFormShowModal,     kExpGetControlParams,  kExpSetControlParams, kExpGetCallerParamInf,
          kExpGetAppContext,     kExpWriteLog,          kExpUpdateApp,        kExpUrlRequest,
          kExpFreeCountedString, kExpRegContext,        kExpUnRegContext,     kExpGetContext,
          kExpCallRegisterFun,   kExpCallRegisterFunSim})
        EXPECT_NE(GetProcAddress(Library(), name), nullptr) << name;
}

TEST_F(StandInFramework, ControlParametersComeFromTheFileAndCanBeWritten) {
    auto get = Export<TGetControlParams>(kExpGetControlParams);
    std::vector<char> buf(kControlParamsBufferSize, 0);
    ASSERT_TRUE(IsTrue(get("DyncConfig", "DyncParams", "ProductCode", "def", buf.data())));
    EXPECT_STREQ(buf.data(), "P-01");
    std::string key = Utf8ToAnsi("名称");
    ASSERT_TRUE(IsTrue(get("DyncConfig", "DyncParams", key.c_str(), "", buf.data())));
    EXPECT_EQ(std::string(buf.data()), Utf8ToAnsi("税务")); // file text is UTF-8, answers are ANSI
    // A missing key answers the default when there is one, and nothing without it.
    ASSERT_TRUE(IsTrue(get("DyncConfig", "DyncParams", "Nope", "fallback", buf.data())));
    EXPECT_STREQ(buf.data(), "fallback");
    EXPECT_FALSE(IsTrue(get("DyncConfig", "DyncParams", "Nope", nullptr, buf.data())));

    ASSERT_TRUE(IsTrue(Export<TSetControlParams>(kExpSetControlParams)("A", "B", "C", "v1")));
    ASSERT_TRUE(IsTrue(get("A", "B", "C", "", buf.data())));
    EXPECT_STREQ(buf.data(), "v1");
    auto set = Lines("setControlParams");
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0]->GetS("value"), "v1");
    // StubReset drops what was written and reloads the file.
    Export<TStubReset>(kExpStubReset)();
    EXPECT_FALSE(IsTrue(get("A", "B", "C", nullptr, buf.data())));
}

TEST_F(StandInFramework, UrlRequestHandsBackLibraryMemoryFreedThroughTheLibrary) {
    auto request = Export<TUrlRequest>(kExpUrlRequest);
    auto release = Export<TFreeCountedString>(kExpFreeCountedString);
    char* out = nullptr;
    ASSERT_TRUE(IsTrue(request(TPasConstAnsi("http://h/x").Data(), 1000, &out)));
    EXPECT_EQ(PasAnsiView(out), "payload");
    EXPECT_EQ(out[7], 0);
    release(&out);
    EXPECT_EQ(out, nullptr);
    EXPECT_FALSE(IsTrue(request(TPasConstAnsi("http").Data(), 1000, &out)));
    EXPECT_EQ(out, nullptr);
    release(&out);
    release(nullptr);
}

TEST_F(StandInFramework, NamedContextsAreStoredAndRemovedOnlyWithTheirPointer) {
    int host = 0, other = 0;
    ASSERT_TRUE(IsTrue(Export<TRegContext>(kExpRegContext)("QeltContext", &host)));
    EXPECT_EQ(Export<TGetContext>(kExpGetContext)("QeltContext"), &host);
    EXPECT_EQ(Export<TGetContext>(kExpGetContext)("qeltcontext"), nullptr);
    EXPECT_FALSE(IsTrue(Export<TUnRegContext>(kExpUnRegContext)("QeltContext", &other)));
    EXPECT_TRUE(IsTrue(Export<TUnRegContext>(kExpUnRegContext)("QeltContext", &host)));
    EXPECT_EQ(Export<TGetContext>(kExpGetContext)("QeltContext"), nullptr);
    EXPECT_FALSE(IsTrue(Export<TRegContext>(kExpRegContext)(nullptr, &host)));
}

TEST_F(StandInFramework, NewContextsAreCountedAndReportTheirResults) {
    IAppContext* ctx = nullptr;
    Export<TGetAppContext>(kExpGetAppContext)(&ctx);
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(ctx->CallerNo(), 0);
    ctx->GetParams()->AddStrParam(jptText, "abc");
    ctx->GetParams()->AddIntParam(jptInteger, 12);
    EXPECT_EQ(ctx->GetParams()->ParamCount(), 2);
    ctx->GetParams()->SetResult("answer");
    EXPECT_EQ(ctx->AddRef(), 2u);
    EXPECT_EQ(ctx->Release(), 1u);
    EXPECT_EQ(ctx->Release(), 0u);
    auto results = Lines("result");
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0]->GetS("text"), "answer");
    IControlParamsInf* params = nullptr;
    Export<TGetCallerParamInf>(kExpGetCallerParamInf)(&params);
    ASSERT_NE(params, nullptr);
    void* same = nullptr;
    EXPECT_EQ(params->QueryInterface(IID_IControlParamsInf, &same), kFwSOk);
    EXPECT_EQ(same, params);
}

TEST_F(StandInFramework, PageFunctionsExistOnlyOnceThePageHasDefinedThem) {
    auto call = Export<TCallRegisterFun>(kExpCallRegisterFun);
    IAppContext* raw = nullptr;
    Export<TGetAppContext>(kExpGetAppContext)(&raw);
    TFwRef<IAppContext> ctx(raw);
    ctx->GetParams()->AddStrParam(jptText, Utf8ToAnsi(u8"消息").c_str());
    ctx->GetParams()->AddFloatParam(jptInteger, 5000000000.0);
    EXPECT_FALSE(IsTrue(call("MessageNotify", ctx->GetParams().Get())));
    EXPECT_TRUE(IsTrue(call("ReadyFun", ctx->GetParams().Get()))); // listed in the parameter file
    ASSERT_TRUE(Step(R"({"do":"registerFun","name":"MessageNotify","delay":600000})"));
    EXPECT_FALSE(IsTrue(call("MessageNotify", ctx->GetParams().Get()))); // not yet
    ASSERT_TRUE(Step(R"({"do":"registerFun","name":"MessageNotify","delay":20})"));
    bool found = false;
    for (int i = 0; i < 500 && !found; ++i) {
        found = IsTrue(Export<TCallRegisterFunSim>(kExpCallRegisterFunSim)("MessageNotify", nullptr));
        if (!found) Sleep(10);
    }
    EXPECT_TRUE(found);
    ASSERT_TRUE(Step(R"({"do":"unregisterFun","name":"MessageNotify"})"));
    EXPECT_FALSE(IsTrue(call("MessageNotify", nullptr)));

    auto calls = Lines("callRegisterFun");
    ASSERT_GE(calls.size(), 3u);
    EXPECT_EQ(calls[0]->GetS("name"), "MessageNotify");
    EXPECT_FALSE(calls[0]->GetB("found"));
    EXPECT_EQ(PrintJson(calls[1]->GetO("params")),
              u8R"({"paramTypes":[4,0],"paramValues":["消息",5000000000]})");
    EXPECT_TRUE(calls[1]->GetB("found"));
}

TEST_F(StandInFramework, MainFormAnswersItsMessages) {
    TEventReceiver r;
    HWND main = MainForm(r);
    ASSERT_TRUE(IsWindow(main));
    EXPECT_EQ(reinterpret_cast<HWND>(Export<TGetMainHandle>(kExpGetMainHandle)()), main);
    HWND page = reinterpret_cast<HWND>(SendMessageA(main, kFwMsgGetWebID, 1, 0));
    ASSERT_TRUE(IsWindow(page));
    EXPECT_EQ(GetParent(page), main);

    EXPECT_EQ(
        SendMessageA(page, kFwMsgRunScript, reinterpret_cast<WPARAM>("isNeedHelp();"), kFwRunScriptFlag),
        100);
    EXPECT_NE(SendMessageA(page, kFwMsgRunScript, reinterpret_cast<WPARAM>("x();"), 0), 100);
    EXPECT_EQ(SendMessageA(page, kFwMsgAnswerCaller, 7, reinterpret_cast<LPARAM>("{\"a\":1}")), 100);
    EXPECT_NE(SendMessageA(page, kFwMsgAnswerCaller, 0, reinterpret_cast<LPARAM>("lost")), 100);

    std::vector<char> err(kScriptErrorBufferSize, 0);
    EXPECT_EQ(SendMessageA(main, kFwMsgRunMainScript, reinterpret_cast<WPARAM>("ok();"),
                           reinterpret_cast<LPARAM>(err.data())),
              100);
    EXPECT_STREQ(err.data(), "");
    // An error text longer than the buffer is cut to fit, still terminated.
    std::string longScript = "throw " + std::string(kScriptErrorBufferSize * 2, 'x');
    EXPECT_NE(SendMessageA(main, kFwMsgRunMainScript, reinterpret_cast<WPARAM>(longScript.c_str()),
                           reinterpret_cast<LPARAM>(err.data())),
              100);
    EXPECT_EQ(std::string(err.data()).size(), kScriptErrorBufferSize - 1);
    EXPECT_EQ(std::string(err.data()).rfind("Uncaught throw", 0), 0u);

    auto lines = Lines();
    std::vector<std::string> kinds;
    for (auto& l : lines)
        kinds.push_back(l->GetS("kind"));
    EXPECT_EQ(kinds, (std::vector<std::string>{"initMainForm", "webId", "script", "script", "answer",
                                               "answer", "mainScript", "mainScript"}));
    EXPECT_EQ(lines[2]->GetS("text"), "isNeedHelp();");
    EXPECT_EQ(lines[2]->GetI("webId"), reinterpret_cast<intptr_t>(page));
    EXPECT_EQ(lines[4]->GetI("callerNo"), 7);
    EXPECT_EQ(lines[4]->GetS("text"), "{\"a\":1}");
    EXPECT_FALSE(lines[5]->GetB("ok"));
}

TEST_F(StandInFramework, WebFormsAnswerTheirMessagesAndCloseOnce) {
    TEventReceiver r;
    HWND main = MainForm(r);
    HWND form = reinterpret_cast<HWND>(
        Export<TGetWebCoreForm>(kExpGetWebCoreForm)(0, nullptr, kPasFalse, "", r.Callback(), nullptr));
    ASSERT_TRUE(IsWindow(form));
    EXPECT_NE(SendMessageA(form, kFwMsgGetFormObject, 0, 0), 0); // an object of its own runtime
    HWND page = reinterpret_cast<HWND>(SendMessageA(form, kFwMsgGetWebID, 1, 0));
    EXPECT_TRUE(IsWindow(page));
    EXPECT_NE(page, reinterpret_cast<HWND>(SendMessageA(main, kFwMsgGetWebID, 1, 0)));

    SendMessageA(form, kFwMsgNavigate, reinterpret_cast<WPARAM>("http://page/1"), kFwNavigateFlag);
    SendMessageA(form, kFwMsgShowForm, kFwShowNormal, kFwShowNormal);
    EXPECT_TRUE(IsWindowVisible(form));
    SendMessageA(form, kFwMsgSizeForm, 0, 0);
    RECT before;
    GetWindowRect(form, &before);
    SendMessageA(form, kFwMsgSizeForm, 640, 0);
    RECT after;
    GetWindowRect(form, &after);
    EXPECT_EQ(after.right - after.left, 640);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top); // height untouched

    SendMessageA(main, kFwMsgFormClosed, 0, reinterpret_cast<LPARAM>(form));
    EXPECT_FALSE(IsWindow(form));
    SendMessageA(main, kFwMsgFormClosed, 0, reinterpret_cast<LPARAM>(form)); // a second report is harmless
    SendMessageA(main, kFwMsgFormClosed, 0, reinterpret_cast<LPARAM>(main)); // never closes the main form
    EXPECT_TRUE(IsWindow(main));

    auto nav = Lines("navigate");
    ASSERT_EQ(nav.size(), 1u);
    EXPECT_EQ(nav[0]->GetS("url"), "http://page/1");
    auto closed = Lines("formClosed");
    ASSERT_EQ(closed.size(), 3u);
    EXPECT_TRUE(closed[0]->GetB("known"));
    EXPECT_FALSE(closed[1]->GetB("known"));
    EXPECT_FALSE(closed[2]->GetB("known"));
}

TEST_F(StandInFramework, PageEventsReachTheCallbackWithTheirContext) {
    TEventReceiver r;
    r.Answer = "true";
    int host = 0;
    HWND main = MainForm(r, &host);
    HWND page = reinterpret_cast<HWND>(SendMessageA(main, kFwMsgGetWebID, 1, 0));
    ASSERT_TRUE(Step(u8R"({"do":"event","name":"app.userinfor","callerNo":4,
                           "paramTypes":[4,0],"paramValues":["张三",3]})"));
    ASSERT_EQ(r.Seen.size(), 1u);
    const TSeenEvent& e = r.Seen[0];
    EXPECT_EQ(e.Self, &r);
    EXPECT_EQ(e.Sender, reinterpret_cast<void*>(main));
    EXPECT_EQ(e.UserContext, &host);
    EXPECT_EQ(e.Type, kFwEventPageCall);
    EXPECT_EQ(e.Name, "app.userinfor");
    EXPECT_EQ(e.CallerNo, 4);
    EXPECT_EQ(e.WebID, static_cast<int32_t>(reinterpret_cast<intptr_t>(page)));
    JsonRef sent = ParseJson(AnsiToUtf8(e.ParamText));
    ASSERT_TRUE(sent);
    EXPECT_EQ(PrintJson(sent->GetO("paramValues")), u8R"(["张三",3])");

    // A pop-up event without a caller number: the answer is the return text, values come back.
    r.SetWidth = true;
    ASSERT_TRUE(Step(R"({"do":"event","type":2,"name":"popup","values":{"URL":"http://pop"}})"));
    ASSERT_EQ(r.Seen.size(), 2u);
    EXPECT_EQ(r.Seen[1].Url, "http://pop");
    auto answers = Lines("answer");
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0]->GetI("callerNo"), 4);
    EXPECT_EQ(answers[0]->GetS("text"), "true");
    auto done = Lines("eventDone");
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[1]->GetI("type"), 2);
    EXPECT_EQ(done[1]->GetS("result"), "true");
    EXPECT_EQ(PrintJson(done[1]->GetO("values")), R"({"URL":"http://pop","Width":900})");

    EXPECT_FALSE(Step(R"({"do":"event","form":"last","name":"a.b"})")); // no web form exists
    EXPECT_FALSE(Step(R"({"do":"dance"})"));
    EXPECT_FALSE(Step("not json"));
}

TEST_F(StandInFramework, ModalFormsReturnTheResultTheyWereClosedWith) {
    TEventReceiver r;
    MainForm(r);
    HWND form = reinterpret_cast<HWND>(
        Export<TGetWebCoreForm>(kExpGetWebCoreForm)(0, nullptr, kPasFalse, "", r.Callback(), nullptr));
    ASSERT_EQ(Export<TStubPlayScenario>(kExpStubPlayScenario)(
                  R"({"steps":[{"do":"event","form":"modal","name":"x.y","callerNo":1},
                               {"after":10,"do":"closeForm","form":"modal","result":7}]})"),
              2);
    EXPECT_EQ(SendMessageA(form, kFwMsgShowForm, kFwShowModal, kFwShowModal), 7);
    ASSERT_EQ(r.Seen.size(), 1u); // the event reached the modal form while it was shown
    EXPECT_EQ(r.Seen[0].Sender, reinterpret_cast<void*>(form));

    IAppContext* raw = nullptr;
    Export<TGetAppContext>(kExpGetAppContext)(&raw);
    TFwRef<IAppContext> ctx(raw);
    ctx->GetValues()->SetIntValue("Width", 500);
    ctx->GetValues()->SetBoolValue("Fixed", kPasTrue);
    Export<TStubPlayScenario>(kExpStubPlayScenario)(R"([{"do":"closeForm","form":"modal","result":1}])");
    EXPECT_EQ(Export<TFormShowModal>(kExpFormShowModal)(nullptr, kPasFalse, "Forms\\MainForm1.html",
                                                        r.Callback(), ctx.Get()),
              1);
    auto shown = Lines("formShowModal");
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0]->GetS("url"), "Forms\\MainForm1.html");
    EXPECT_EQ(PrintJson(shown[0]->GetO("values")), R"({"Width":500,"Fixed":true})");

    // Closed by the user (no result given): cancel.
    Export<TStubPlayScenario>(kExpStubPlayScenario)(R"([{"do":"closeForm","form":"modal"}])");
    EXPECT_EQ(Export<TFormShowModal>(kExpFormShowModal)(nullptr, kPasFalse, "", r.Callback(), nullptr), 2);
}

TEST_F(StandInFramework, AppRunPlaysTheScenarioUntilTheMainFormCloses) {
    TEventReceiver r;
    r.Answer = Utf8ToAnsi(u8"已送达"); // answers cross as ANSI
    MainForm(r);
    WriteScenario(R"({"steps":[{"after":5,"do":"event","name":"msg.SynFetchMsg","callerNo":12},
                               {"after":5,"do":"close"}]})");
    Export<TAppRun>(kExpAppRun)();
    EXPECT_EQ(Export<TGetMainHandle>(kExpGetMainHandle)(), 0u);
    auto lines = Lines();
    std::vector<std::string> kinds;
    for (auto& l : lines)
        kinds.push_back(l->GetS("kind"));
    EXPECT_EQ(kinds, (std::vector<std::string>{"initMainForm", "answer", "eventDone", "appRunEnd"}));
    EXPECT_EQ(lines[1]->GetS("text"), u8"已送达");
    // Without a main form nothing could end the loop: AppRun returns at once.
    Export<TAppRun>(kExpAppRun)();
}

TEST_F(StandInFramework, WorkerThreadAnswersWaitForTheWindowAndAppTerminateEndsTheLoop) {
    TEventReceiver r;
    r.Answer = "from worker";
    r.AnswerFromWorkerThenTerminate = true;
    MainForm(r);
    WriteScenario(R"([{"do":"event","name":"sys.Enc","callerNo":3}])");
    Export<TAppRun>(kExpAppRun)();
    ASSERT_TRUE(r.Worker);
    r.Worker->join();
    auto answers = Lines("answer");
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0]->GetS("text"), "from worker");
    EXPECT_EQ(Lines("appTerminate").size(), 1u);
}

TEST_F(StandInFramework, StartupExportsReportWhatTheyWereGiven) {
    std::string manifest = Utf8ToAnsi(u8R"({"AppID":"应用"})");
    EXPECT_TRUE(IsTrue(Export<TInitWebCore>(kExpInitWebCore)(0, kPasFalse, 0, manifest.c_str())));
    HWND app = reinterpret_cast<HWND>(Export<TInitApplication>(kExpInitApplication)(0, 0));
    EXPECT_TRUE(IsWindow(app));
    EXPECT_TRUE(IsTrue(Export<TUpdateApp>(kExpUpdateApp)("main", 1)));
    auto init = Lines("initWebCore");
    ASSERT_EQ(init.size(), 1u);
    // Text arrives as ANSI and is reported as it was meant.
    EXPECT_EQ(init[0]->GetS("mainFest"), u8R"({"AppID":"应用"})");

    WriteWholeFile(FParams, R"({"results":{"InitWebCore":false}})");
    Export<TStubReset>(kExpStubReset)();
    EXPECT_FALSE(IsTrue(Export<TInitWebCore>(kExpInitWebCore)(0, kPasTrue, 0, "")));
}

TEST_F(StandInFramework, WriteLogAppendsLinesBesideTheLibrary) {
    std::wstring log = TestProgramFolder() + L"AppFramework.log";
    std::string marker = "log line " + std::to_string(GetTickCount64());
    Export<TWriteLog>(kExpWriteLog)(marker.c_str());
    auto lines = ReadFileLines(log);
    ASSERT_FALSE(lines.empty());
    const std::string& last = lines.back();
    ASSERT_EQ(last.size(), marker.size() + 24); // "YYYY-MM-DD HH:MM:SS.zzz " + text
    EXPECT_EQ(last.substr(last.size() - marker.size()), marker);
    EXPECT_EQ(last[4], '-');
    EXPECT_EQ(last[23], ' ');
}
