// The framework binding against the stand-in AppFramework.dll: where the library is found, what
// reaches the library's windows and exports, and the face handed to extension modules.
#include "stubs/AppFramework/StubControl.h"
#include "support/FakeAppContext.h"
#include "support/WinTestEnv.h"

#include "foundation/AppLog.h"
#include "foundation/Json.h"
#include "foundation/TextCodec.h"
#include "foundation/TextFormat.h"
#include "webbridge/AppContext.h"
#include "webbridge/AppForm.h"
#include "webbridge/AppFramework.h"
#include "webbridge/JsCaller.h"
#include "webbridge/ParamPackers.h"
#include "webbridge/WebBrowserEvent.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

const char kMissingRoot[] = "C:\\Corvane\\CefLib\\AppFramework.dll";

// A program folder of our own with a copy of the stand-in, so the library's log beside it is ours.
const TTestFolder& ProgramCopy() {
    static const TTestFolder folder(L"binding-program");
    static const bool copied =
        CopyTestFile(TestProgramFolder() + L"AppFramework.dll", folder.Path() + L"AppFramework.dll");
    (void)copied;
    return folder;
}

std::string RaisedText(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(nothing raised)";
}

// Calls slot `position` (counted from 1 after the three counting slots) of an interface the way
// a module compiled elsewhere would: through the vtable, with nothing but the pointer.
template <class R, class... A>
R CallSlot(void* intf, int position, A... args) {
    using Fn = R(APPFRAME_STDCALL*)(void*, A...);
    void** vtable = *static_cast<void***>(intf);
    return reinterpret_cast<Fn>(vtable[FwVtableIndex(position)])(intf, args...);
}

class TQuietSink final : public TWebBrowserEventSink {
public:
    void OnWebBrowserEvent(void*, void*, int32_t, const std::string&, IAppContext*) override {}
};

// A window of the given class whose procedure answers the page-window query for `page`, only
// when asked with its own handle (as the library's sub-browser form does).
int32_t gSubBrowserPage = 0;
LRESULT CALLBACK SubBrowserProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kFwMsgGetWebID)
        return wParam == 1 && lParam == reinterpret_cast<LPARAM>(hwnd) ? gSubBrowserPage : -1;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}
HWND ControlWindow(const wchar_t* className) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &SubBrowserProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = className;
    RegisterClassW(&wc);
    return CreateWindowExW(0, className, L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

class ProgramFolderScope {
public:
    explicit ProgramFolderScope(const std::string& folderUtf8) {
        SetProgramFolderForTests(folderUtf8);
        ResetFrameworkLibPath();
    }
    ~ProgramFolderScope() {
        SetProgramFolderForTests("");
        ResetFrameworkLibPath();
    }
};

class BindingAgainstStandIn : public ::testing::Test {
protected:
    void SetUp() override {
        WriteWholeFile(FParams, FParamsText);
        Reset();
    }
    void TearDown() override { Reset(); }

    void Reset() { reinterpret_cast<TStubReset>(LoadLibFunction(GetFrameworkLibPath(), kExpStubReset))(); }
    void UseParams(const std::string& json) {
        WriteWholeFile(FParams, json);
        Reset();
    }
    std::vector<JsonRef> Lines(const std::string& kind) { return ReadJsonLines(FTranscript, kind); }
    bool Step(const std::string& json) {
        auto run = reinterpret_cast<TStubRunStep>(LoadLibFunction(GetFrameworkLibPath(), kExpStubRunStep));
        return IsTrue(run(json.c_str()));
    }
    // The library's own log lines (ANSI in the file) as UTF-8, without their time stamps.
    std::vector<std::string> LibraryLog() {
        std::vector<std::string> out;
        for (const std::string& line : ReadFileLines(ProgramCopy().Path() + L"AppFramework.log"))
            out.push_back(AnsiToUtf8(line.size() > 24 ? line.substr(24) : line));
        return out;
    }
    TFwHandle MainForm() { return FW.InitMainForm(false, nullptr, FSink.Callback(), ""); }
    int32_t PageOf(TFwHandle form) {
        return static_cast<int32_t>(SendMessageA(reinterpret_cast<HWND>(form), kFwMsgGetWebID, 1, 0));
    }

    ProgramFolderScope FFolderScope{ProgramCopy().Utf8()};
    TTestFolder FFolder{L"binding"};
    std::wstring FTranscript = FFolder.Path() + L"transcript.jsonl";
    std::wstring FParams = FFolder.Path() + L"params.json";
    std::string FParamsText = u8R"({"params":{"DyncConfig":{"DyncParams":{"ProductCode":"P-01","Empty":"",
                                      "名称":"税务"}},"StubUrls":{"answers":{"http://h/x":"payload"}}}})";
    TScopedEnv FEnvTranscript{L"APPFRAME_STUB_TRANSCRIPT", FTranscript};
    TScopedEnv FEnvParams{L"APPFRAME_STUB_PARAMS", FParams};
    TScopedEnv FEnvScenario{L"APPFRAME_STUB_SCENARIO", FFolder.Path() + L"none.json"};
    TQuietSink FSink;
    TAppFramework FW;
};

} // namespace

TEST(FrameworkLocation, LibraryOnlyInTheCefLibSubfolderIsFoundAndRemembered) {
    TTestFolder program(L"binding-ceflib");
    ASSERT_TRUE(CopyTestFile(TestProgramFolder() + L"AppFramework.dll",
                             program.Path() + L"CefLib\\AppFramework.dll"));
    ProgramFolderScope scope(program.Utf8());
    const std::string expected = program.Utf8() + "CefLib\\AppFramework.dll";
    EXPECT_EQ(GetFrameworkLibPath(), expected);
    // A library appearing in the first place later does not change the remembered one.
    ASSERT_TRUE(
        CopyTestFile(TestProgramFolder() + L"AppFramework.dll", program.Path() + L"AppFramework.dll"));
    EXPECT_EQ(GetFrameworkLibPath(), expected);
    ResetFrameworkLibPath();
    EXPECT_EQ(GetFrameworkLibPath(), program.Utf8() + "AppFramework.dll");
}

TEST(FrameworkLocation, NoLibraryAnywhereRaisesTheComposedPathOnEveryAttempt) {
    TTestFolder program(L"binding-nolib");
    ProgramFolderScope scope(program.Utf8());
    EXPECT_EQ(GetFrameworkLibPath(), kMissingRoot);
    const std::string expected = program.Utf8() + "CefLib\\" + kMissingRoot + "未找到！";
    TAppFramework fw;
    EXPECT_EQ(RaisedText([&] { fw.GetMainHandle(); }), expected);
    EXPECT_EQ(RaisedText([&] { fw.GetMainHandle(); }), expected);
    EXPECT_EQ(RaisedText([&] { fw.WriteLog("x"); }), expected);
    // Through the extension face nothing is raised: empty answers instead.
    char* value = nullptr;
    fw.Intf()->GetControlParams("a", "b", "c", "def", &value);
    EXPECT_EQ(value, nullptr);
    fw.Intf()->WriteLog("x", nullptr, -1);
    EXPECT_EQ(fw.Intf()->GetMainHandle(), 0u);

    // Nothing was bound or remembered, so the library is found as soon as it is there.
    ASSERT_TRUE(CopyTestFile(TestProgramFolder() + L"AppFramework.dll",
                             program.Path() + L"CefLib\\AppFramework.dll"));
    EXPECT_NO_THROW(fw.GetMainHandle());
    EXPECT_EQ(GetFrameworkLibPath(), program.Utf8() + "CefLib\\AppFramework.dll");
}

TEST(FrameworkLocation, LoadLibFunctionNamesTheMissingExportAndRetriesUnderCefLib) {
    ProgramFolderScope scope(ProgramCopy().Utf8());
    const std::string path = ProgramCopy().Utf8() + "AppFramework.dll";
    EXPECT_EQ(RaisedText([&] { LoadLibFunction(path, "NoSuchExport"); }),
              path + "的函数NoSuchExport未找到！");
    EXPECT_NE(LoadLibFunction(path, kExpWriteLog), nullptr);

    TTestFolder program(L"binding-retry");
    ASSERT_TRUE(CopyTestFile(TestProgramFolder() + L"AppFramework.dll",
                             program.Path() + L"CefLib\\BindingRetryOnly.dll"));
    SetProgramFolderForTests(program.Utf8());
    EXPECT_NE(LoadLibFunction("BindingRetryOnly.dll", kExpGetContext), nullptr);
    EXPECT_EQ(RaisedText([&] { LoadLibFunction("NotAnywhere.dll", kExpGetContext); }),
              program.Utf8() + "CefLib\\NotAnywhere.dll未找到！");
}

TEST(FrameworkProcess, ThisTestProgramIsNotABrowserSubProcess) {
    EXPECT_FALSE(TAppFramework::isCefSubProc());
}

TEST_F(BindingAgainstStandIn, ExecuteJavaScriptReachesOnlyRealPages) {
    const TFwHandle main = MainForm();
    const int32_t page = PageOf(main);
    ASSERT_GT(page, 0);
    EXPECT_EQ(FW.GetMainWebID(), page);
    EXPECT_FALSE(FW.ExecuteJavaScript(0, "lost();"));
    EXPECT_FALSE(FW.ExecuteJavaScript(-5, "lost();"));
    EXPECT_TRUE(Lines("script").empty());
    EXPECT_TRUE(FW.ExecuteJavaScript(page, u8"提示('是');"));
    auto scripts = Lines("script");
    ASSERT_EQ(scripts.size(), 1u);
    EXPECT_EQ(scripts[0]->GetS("text"), u8"提示('是');");
    EXPECT_EQ(scripts[0]->GetI("webId"), page);
}

TEST_F(BindingAgainstStandIn, ControlsAreAddressedByTheirWindowClass) {
    const TFwHandle main = MainForm();
    gSubBrowserPage = PageOf(main);
    const int32_t page = gSubBrowserPage;
    const HWND subBrowser = ControlWindow(L"TfrmSubBrowser");
    const HWND panel = ControlWindow(L"TPanel");
    int unknown = 0;
    EXPECT_EQ(FW.GetWebID(subBrowser), page);
    EXPECT_EQ(FW.GetWebID(panel), 0);
    EXPECT_EQ(FW.GetWebID(nullptr), 0);
    EXPECT_EQ(FW.GetWebID(&unknown), 0); // not read: it names no control
    EXPECT_FALSE(FW.ExecuteJavaScript(static_cast<TWinControlRef>(panel), "x();"));

    EXPECT_TRUE(FW.Call(subBrowser, "showTip",
                        {TVarRec::Integer(3), TVarRec::Text("O'Neil"), TVarRec::Pointer(nullptr)}));
    int anything = 0;
    EXPECT_EQ(RaisedText([&] {
                  FW.Call(subBrowser, "f", {TVarRec::Integer(1), TVarRec::Pointer(&anything)});
              }),
              "not support type: 5");
    auto scripts = Lines("script");
    ASSERT_EQ(scripts.size(), 1u); // the refused call sent nothing
    EXPECT_EQ(scripts[0]->GetS("text"), "showTip(3,'O\\'Neil',null);");
    for (HWND window : {subBrowser, panel})
        DestroyWindow(window);
}

TEST_F(BindingAgainstStandIn, ControlParamsAreTheLibrarysAnswerNeverTheDefault) {
    EXPECT_EQ(FW.GetControlParams("DyncConfig", "DyncParams", "ProductCode", "def"), "P-01");
    EXPECT_EQ(FW.GetControlParams("DyncConfig", "DyncParams", "名称", ""), "税务");
    EXPECT_EQ(FW.GetControlParams("DyncConfig", "DyncParams", "Empty", "def"), "");
    // This library answers a missing key with the default it was given: passed on unchanged.
    EXPECT_EQ(FW.GetControlParams("DyncConfig", "DyncParams", "Missing", "缺省"), "缺省");
    EXPECT_TRUE(FW.SetControlParams("A", "节", "C", "值"));
    EXPECT_EQ(FW.GetControlParams("A", "节", "C", ""), "值");

    UseParams(R"({"results":{"GetControlParams":false},"params":{"A":{"B":{"C":"v"}}}})");
    EXPECT_EQ(FW.GetControlParams("A", "B", "C", "def"), "");
}

TEST_F(BindingAgainstStandIn, WriteLogFormatsIntoTheLibraryLogOrRaises) {
    FW.WriteLog("收到Restore%d，返回：%d", {TVarRec::Integer(5), TVarRec::Integer(6)});
    FW.WriteLog("plain 100%% text");
    const size_t before = LibraryLog().size();
    EXPECT_THROW(FW.WriteLog("%d", {TVarRec::Text("five")}), EFormatError);
    const std::vector<std::string> log = LibraryLog();
    ASSERT_EQ(log.size(), before);
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], "收到Restore5，返回：6");
    EXPECT_EQ(log.back(), "plain 100% text");
}

TEST_F(BindingAgainstStandIn, AnswersReachTheWaitingCallerAndAreLogged) {
    const int32_t page = PageOf(MainForm());
    TJsCaller& caller = FW.JsCaller();
    EXPECT_TRUE(caller.CallJsFunction(page, 7, TVarArgs{TVarRec::Text("abc"), TVarRec::Integer(12)}));
    EXPECT_FALSE(caller.CallJsFunction(page, 0, "nobody waits"));
    TFwRef<TFakeAppContext> context(TFakeAppContext::Create(9, page));
    EXPECT_TRUE(caller.CallJsFunction(static_cast<IAppContext*>(context.Get()), {TVarRec::Boolean(true)}));
    auto params = caller.getCallerParams(u8R"({"CallerNo":11,"WebID":)" + std::to_string(page) + "}");
    EXPECT_TRUE(caller.CallJsFunction(static_cast<ICallerParam*>(params.Get()), {TVarRec::Text("好")}));
    EXPECT_FALSE(caller.CallJsFunction(0, 5, "no page"));

    auto answers = Lines("answer");
    ASSERT_EQ(answers.size(), 4u);
    EXPECT_EQ(answers[0]->GetI("callerNo"), 7);
    EXPECT_EQ(answers[0]->GetS("text"), R"({"paramTypes":[4,0],"paramValues":["abc",12]})");
    EXPECT_EQ(answers[1]->GetS("text"), "nobody waits");
    EXPECT_EQ(answers[2]->GetI("callerNo"), 9);
    EXPECT_EQ(answers[2]->GetS("text"), R"({"paramTypes":[1],"paramValues":[true]})");
    EXPECT_EQ(answers[3]->GetI("callerNo"), 11);
    EXPECT_EQ(answers[3]->GetS("text"), u8R"({"paramTypes":[4],"paramValues":["好"]})");

    const std::vector<std::string> log = LibraryLog();
    ASSERT_GE(log.size(), 10u);
    const std::vector<std::string> last(log.end() - 10, log.end());
    EXPECT_EQ(last[0], "CallJsFunction iCallerNo=7");
    EXPECT_EQ(last[1], "CallJsFunction iCallerNo=7 Result =-1");
    EXPECT_EQ(last[3], "CallJsFunction iCallerNo=0 Result =0");
    EXPECT_EQ(last[9], "CallJsFunction iCallerNo=5 Result =0");
}

TEST_F(BindingAgainstStandIn, RegisteredPageFunctionsGetTheValues) {
    ASSERT_TRUE(Step(R"({"do":"registerFun","name":"MessageNotify"})"));
    TJsCaller& caller = FW.JsCaller();
    EXPECT_TRUE(
        caller.CallRegisterFun("MessageNotify", {TVarRec::Text("消息"), TVarRec::Int64(5000000000LL)}));
    EXPECT_FALSE(caller.CallRegisterFun("UserLoginNotify", {}));
    int anything = 0;
    EXPECT_EQ(RaisedText([&] { caller.CallRegisterFun("MessageNotify", {TVarRec::Pointer(&anything)}); }),
              "not support type: 5");

    auto calls = Lines("callRegisterFun");
    ASSERT_EQ(calls.size(), 2u); // the refused call reached nothing
    EXPECT_TRUE(calls[0]->GetB("found"));
    EXPECT_EQ(PrintJson(calls[0]->GetO("params")),
              u8R"({"paramTypes":[4,0],"paramValues":["消息",5000000000]})");
    EXPECT_EQ(calls[1]->GetS("name"), "UserLoginNotify");
    EXPECT_FALSE(calls[1]->GetB("found"));
}

TEST_F(BindingAgainstStandIn, MainWindowScriptsHandBackTheLibraryError) {
    MainForm();
    std::string error = "stale";
    EXPECT_TRUE(FW.PsScript().RunScript("ok();", error));
    EXPECT_EQ(error, "");
    EXPECT_FALSE(FW.PsScript().RunScript(u8"throw '错误'", error));
    EXPECT_EQ(error, u8"Uncaught throw '错误'");
}

TEST_F(BindingAgainstStandIn, FormWrappersSizeShowAndReportClosing) {
    const TFwHandle main = MainForm();
    std::unique_ptr<TAppForm> form = FW.GetWebCoreForm(main, nullptr, false, "", FSink.Callback(), nullptr);
    const TFwHandle handle = form->Handle();
    ASSERT_TRUE(IsWindow(reinterpret_cast<HWND>(handle)));
    EXPECT_EQ(form->Handle2(), handle);
    form->SetWidth(800);
    EXPECT_EQ(form->Width(), 800);
    EXPECT_EQ(form->Height(), 0);
    form->Show();
    auto sizes = Lines("size");
    ASSERT_EQ(sizes.size(), 1u);
    EXPECT_EQ(sizes[0]->GetI("width"), 800);
    EXPECT_EQ(sizes[0]->GetI("height"), 0);
    EXPECT_EQ(Lines("show").size(), 1u);

    form->Close(); // no form object: the main window hears of Handle2
    auto closed = Lines("formClosed");
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ(closed[0]->GetI("form"), static_cast<int64_t>(handle));

    std::unique_ptr<TAppForm> second = FW.GetWebCoreForm(main, nullptr, false, "", FSink.Callback(), nullptr);
    const TFwHandle window = second->Handle();
    // The form object belongs to the library's runtime: kept, never taken for a window.
    void* object =
        reinterpret_cast<void*>(SendMessageA(reinterpret_cast<HWND>(window), kFwMsgGetFormObject, 0, 0));
    ASSERT_NE(object, nullptr);
    ASSERT_NE(object, reinterpret_cast<void*>(window));
    second->SetCurForm(object);
    EXPECT_EQ(second->Handle(), window);
    second.reset(); // closes the form through its window and reports it
    EXPECT_FALSE(IsWindow(reinterpret_cast<HWND>(window)));
    closed = Lines("formClosed");
    ASSERT_EQ(closed.size(), 2u);
    EXPECT_EQ(closed[1]->GetI("form"), static_cast<int64_t>(window));
}

TEST_F(BindingAgainstStandIn, StartUpPassesTheApplicationWindowOnlyWhenAsked) {
    const TFwHandle app = FW.InitApplication();
    EXPECT_NE(app, 0u);
    EXPECT_EQ(FW.GetApplication(), app);
    EXPECT_TRUE(FW.InitWebCore(u8R"({"AppID":"税务"})", false, true));
    EXPECT_TRUE(FW.InitWebCore("", true, false));
    auto starts = Lines("initWebCore");
    ASSERT_EQ(starts.size(), 2u);
    EXPECT_EQ(starts[0]->GetI("appHD"), static_cast<int64_t>(app));
    EXPECT_FALSE(starts[0]->GetB("isMainForm"));
    EXPECT_EQ(starts[0]->GetS("mainFest"), u8R"({"AppID":"税务"})");
    EXPECT_EQ(starts[1]->GetI("appHD"), 0);
    EXPECT_TRUE(starts[1]->GetB("isMainForm"));

    std::string answer = "old";
    EXPECT_TRUE(FW.UrlRequest("http://h/x", 1000, answer));
    EXPECT_EQ(answer, "payload");
    EXPECT_FALSE(FW.UrlRequest("http://h/none", 1000, answer));
    EXPECT_EQ(answer, "");
}
