// The web control against the stand-in AppFramework.dll: real windows of a form, the library's
// web form embedded in the control, and what reached the library's windows (its transcript).
#include "stubs/AppFramework/StubControl.h"
#include "support/WinTestEnv.h"

#include "foundation/AppLog.h"
#include "foundation/Json.h"
#include "foundation/TextCodec.h"
#include "webbridge/AppForm.h"
#include "webbridge/AppFramework.h"
#include "webbridge/WebCoreControl.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace {

HWND H(TFwHandle h) {
    return reinterpret_cast<HWND>(h);
}

int64_t N(HWND h) {
    return static_cast<int64_t>(reinterpret_cast<uintptr_t>(h));
}

std::string RaisedText(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "(nothing raised)";
}

void Pump() {
    for (int round = 0; round < 5; ++round) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    }
}

std::string ClassOf(HWND h) {
    char name[256] = {};
    GetClassNameA(h, name, sizeof name);
    return name;
}

// A top-level window of this thread with a plain window class: a form.
HWND NewForm(int x = 100, int y = 100) {
    return CreateWindowExW(0, L"STATIC", L"form", WS_POPUP | WS_VISIBLE, x, y, 400, 300, nullptr, nullptr,
                           GetModuleHandleW(nullptr), nullptr);
}

// A renderer window of the test's own (same class name as the browser's), counting its wheels.
int gOwnRendererWheels = 0;
LRESULT CALLBACK OwnRendererProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_MOUSEWHEEL) ++gOwnRendererWheels;
    return DefWindowProcW(hwnd, msg, wParam, lParam);
}

struct TSeen {
    void* Sender = nullptr;
    void* UserContext = nullptr;
    std::string Name;
};
void APPFRAME_STDCALL OnEvent(void* self, void* sender, void* userContext, int32_t, const char* name,
                              IAppContext*) {
    static_cast<std::vector<TSeen>*>(self)->push_back({sender, userContext, name ? name : ""});
}

// The stand-in beside the tests is the library of the process-wide binding.
class StandInFolderScope {
public:
    StandInFolderScope() {
        SetProgramFolderForTests(Narrow(TestProgramFolder()));
        ResetFrameworkLibPath();
    }
    ~StandInFolderScope() {
        SetProgramFolderForTests("");
        ResetFrameworkLibPath();
    }
};

class WebControlOnStandIn : public ::testing::Test {
protected:
    void SetUp() override {
        InstallWebCoreControl();
        Reset();
        FMain = H(FW.InitMainForm(false, nullptr, {nullptr, nullptr}, ""));
        ASSERT_TRUE(IsWindow(FMain));
        FForm = NewForm();
    }
    void TearDown() override {
        if (IsWindow(FForm)) DestroyWindow(FForm);
        Reset();
    }
    void Reset() { reinterpret_cast<TStubReset>(LoadLibFunction(GetFrameworkLibPath(), kExpStubReset))(); }
    std::vector<JsonRef> Lines(const std::string& kind) { return ReadJsonLines(FTranscript, kind); }
    bool Step(const std::string& json) {
        auto run = reinterpret_cast<TStubRunStep>(LoadLibFunction(GetFrameworkLibPath(), kExpStubRunStep));
        return IsTrue(run(json.c_str()));
    }

    StandInFolderScope FFolderScope;
    TTestFolder FFolder{L"webcontrol"};
    std::wstring FTranscript = FFolder.Path() + L"transcript.jsonl";
    TScopedEnv FEnvTranscript{L"APPFRAME_STUB_TRANSCRIPT", FTranscript};
    TScopedEnv FEnvParams{L"APPFRAME_STUB_PARAMS", FFolder.Path() + L"none.json"};
    TScopedEnv FEnvScenario{L"APPFRAME_STUB_SCENARIO", FFolder.Path() + L"none.json"};
    TAppFramework& FW = GetAppFramework();
    HWND FMain = nullptr;
    HWND FForm = nullptr;
};

} // namespace

TEST_F(WebControlOnStandIn, CreationNeedsAWindowOfAFormAndLeavesNothingBehind) {
    EXPECT_EQ(RaisedText([&] { TWebCoreControl::Create(0, FW); }), kWebControlNoOwner);
    const HWND messageOnly = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                             GetModuleHandleW(nullptr), nullptr);
    EXPECT_EQ(RaisedText([&] { TWebCoreControl::Create(reinterpret_cast<TFwHandle>(messageOnly), FW); }),
              kWebControlNoForm);
    EXPECT_EQ(FindWindowExW(messageOnly, nullptr, L"TWebCoreControl", nullptr), nullptr);
    DestroyWindow(messageOnly);
    EXPECT_EQ(RaisedText([&] { TWebCoreControl::Create(0x7FF0, FW); }), kWebControlNoForm); // no window

    // Through the face handed to modules: a failure is a nil control, nothing raised.
    IWebCoreControlInf* control = nullptr;
    FW.Intf()->GetWebControl(nullptr, nullptr, kPasFalse, "http://x", {nullptr, nullptr}, "", &control);
    EXPECT_EQ(control, nullptr);
    EXPECT_TRUE(Lines("webForm").empty());
    EXPECT_TRUE(Lines("formClosed").empty());

    // A control on a child window of a form is fine; a control without a page closes nothing.
    const HWND child = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 200, 100, FForm,
                                       nullptr, GetModuleHandleW(nullptr), nullptr);
    TWebCoreControl* inner = TWebCoreControl::Create(reinterpret_cast<TFwHandle>(child), FW);
    EXPECT_EQ(GetParent(H(inner->Handle())), child);
    EXPECT_EQ(inner->WebID(), 0);
    EXPECT_FALSE(inner->ExecuteScript(0, "lost();"));
    inner->Free();
    Pump();
    EXPECT_TRUE(Lines("script").empty());
    // A window of the control's class that Create did not make stays a plain window, naming no
    // control.
    const HWND plain = CreateWindowExW(0, L"TWebCoreControl", L"", WS_CHILD, 0, 0, 10, 10, FForm, nullptr,
                                       GetModuleHandleW(nullptr), nullptr);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(FW.GetWebID(plain), 0);
    DestroyWindow(plain);
    EXPECT_TRUE(Lines("formClosed").empty());
}

TEST_F(WebControlOnStandIn, PageIsMadeOnceNavigatesEachAddressAndRelaysEvents) {
    std::vector<TSeen> seen;
    int user = 0;
    TWebCoreControl* control = TWebCoreControl::Create(reinterpret_cast<TFwHandle>(FForm), FW);
    const HWND window = H(control->Handle());
    EXPECT_EQ(ClassOf(window), "TWebCoreControl");
    control->SetUserContext(&user);
    control->SetOnWebBrowserEvent({&OnEvent, &seen});
    control->SetUrl("http://page/a");
    control->SetUrl("http://page/b");

    auto made = Lines("webForm");
    ASSERT_EQ(made.size(), 1u);
    EXPECT_EQ(made[0]->GetI("parent"), N(window));
    EXPECT_EQ(made[0]->GetS("url"), "");
    EXPECT_EQ(Lines("formObject").size(), 1u);
    EXPECT_EQ(Lines("show").size(), 1u);
    auto nav = Lines("navigate");
    ASSERT_EQ(nav.size(), 2u);
    EXPECT_EQ(nav[0]->GetS("url"), "http://page/a");
    EXPECT_EQ(nav[1]->GetS("url"), "http://page/b");
    // The library's form lives inside the control, filling it.
    const HWND form = H(control->WebCoreForm()->Handle());
    EXPECT_EQ(made[0]->GetI("form"), N(form));
    EXPECT_EQ(control->WebCoreForm()->Handle2(), reinterpret_cast<TFwHandle>(form));
    EXPECT_EQ(control->WebCoreForm()->ToJson(), R"({"FHeight":0,"FWidth":0,"Fhandle":)" +
                                                    std::to_string(N(form)) + R"(,"Fhandle2":)" +
                                                    std::to_string(N(form)) + R"(,"FCurForm":null})");
    EXPECT_EQ(GetParent(form), window);
    EXPECT_TRUE(IsWindowVisible(form));
    RECT outer{}, inner{};
    GetClientRect(window, &outer);
    GetWindowRect(form, &inner);
    EXPECT_EQ(inner.right - inner.left, outer.right);
    EXPECT_EQ(inner.bottom - inner.top, outer.bottom);

    // WebID asks the form, naming the control.
    const int32_t webId = control->WebID();
    auto asked = Lines("webId");
    ASSERT_FALSE(asked.empty());
    EXPECT_EQ(asked.back()->GetI("control"), N(window));
    EXPECT_EQ(asked.back()->GetI("webId"), webId);
    // Modules name the control by what it hands out or by its window.
    EXPECT_EQ(FW.GetWebID(control->Instance()), webId);
    EXPECT_EQ(FW.GetWebID(window), webId);

    // Scripts: straight to a good page window; a stale one is retried once with a fresh WebID.
    EXPECT_TRUE(control->ExecuteScript(webId, "one();"));
    EXPECT_TRUE(control->ExecuteScript(static_cast<int32_t>(N(window)), "two();"));
    EXPECT_TRUE(control->ExecuteScript(0, "three();"));
    auto scripts = Lines("script");
    ASSERT_EQ(scripts.size(), 3u);
    for (const JsonRef& s : scripts)
        EXPECT_EQ(s->GetI("webId"), webId);
    EXPECT_EQ(scripts[1]->GetS("text"), "two();");

    // Page events reach the handler with the control as sender and the user context.
    ASSERT_TRUE(Step(R"({"do":"event","form":"last","name":"mod.ready"})"));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].Sender, control->Instance());
    EXPECT_EQ(seen[0].UserContext, &user);
    EXPECT_EQ(seen[0].Name, "mod.ready");

    // The same through the binary face.
    IWebCoreControlInf* face = control;
    char* url = nullptr;
    face->GetsUrl(&url);
    EXPECT_EQ(PasAnsiView(url), "http://page/b");
    EXPECT_EQ(face->Instance(), static_cast<TWinControlRef>(face));
    EXPECT_EQ(face->GetWebID(), webId);
    EXPECT_TRUE(IsTrue(face->ExecuteJavaScript(0, "four();")));
    control->Free();
    EXPECT_EQ(FW.GetWebID(face), 0); // gone: the pointer names nothing any more
}

TEST_F(WebControlOnStandIn, FocusGoesToThePageAndMessage1124MovesIt) {
    const HWND edit = CreateWindowExW(0, L"EDIT", L"", WS_CHILD | WS_VISIBLE, 0, 250, 100, 20, FForm, nullptr,
                                      GetModuleHandleW(nullptr), nullptr);
    TWebCoreControl* control = TWebCoreControl::Create(reinterpret_cast<TFwHandle>(FForm), FW);
    const HWND window = H(control->Handle());
    control->SetUrl("http://page");
    const HWND form = H(control->WebCoreForm()->Handle());
    Pump(); // 1124 (1, 1): the form's first focusable control (the web control) takes the focus
    auto focus = Lines("focus");
    ASSERT_EQ(focus.size(), 1u);
    EXPECT_EQ(focus[0]->GetI("form"), N(form));
    EXPECT_EQ(focus[0]->GetI("control"), N(window));

    PostMessageW(window, kMsgWebControlFocus, 9, reinterpret_cast<LPARAM>(edit)); // -> 2 -> 3
    Pump();
    EXPECT_EQ(GetFocus(), edit);
    EXPECT_EQ(Lines("focus").size(), 1u);
    PostMessageW(window, kMsgWebControlFocus, 3, reinterpret_cast<LPARAM>(window));
    Pump();
    EXPECT_EQ(Lines("focus").size(), 2u);
    control->Free();
}

TEST_F(WebControlOnStandIn, WheelGoesToTheRendererUnderTheCursorWhileAControlLives) {
    TWebCoreControl* control = TWebCoreControl::Create(reinterpret_cast<TFwHandle>(FForm), FW);
    control->SetUrl("http://page");
    const HWND page = reinterpret_cast<HWND>(static_cast<intptr_t>(control->WebID()));
    const HWND renderer = GetWindow(page, GW_CHILD);
    ASSERT_EQ(ClassOf(renderer), kRendererWindowClass);
    RECT r{};
    GetWindowRect(renderer, &r);
    const POINT centre{(r.left + r.right) / 2, (r.top + r.bottom) / 2};
    SetCursorPos(centre.x, centre.y);
    ASSERT_EQ(WindowFromPoint(centre), renderer);

    PostMessageW(H(control->Handle()), WM_MOUSEWHEEL, MAKEWPARAM(0, 120), MAKELPARAM(centre.x, centre.y));
    Pump();
    auto wheels = Lines("wheel");
    ASSERT_EQ(wheels.size(), 1u);
    EXPECT_EQ(wheels[0]->GetI("renderer"), N(renderer));
    EXPECT_EQ(wheels[0]->GetI("delta"), 120);
    // Already aimed at the renderer: delivered once, not reposted.
    PostMessageW(renderer, WM_MOUSEWHEEL, MAKEWPARAM(0, 240), MAKELPARAM(centre.x, centre.y));
    Pump();
    EXPECT_EQ(Lines("wheel").size(), 2u);

    // Over a window of another class: not reposted. Over a renderer of our own: reposted, until the
    // last control is gone.
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = OwnRendererProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Chrome_RenderWidgetHostHWND";
    RegisterClassExW(&wc);
    wc.lpfnWndProc = DefWindowProcW; // a window that answers hit tests (a static one is transparent)
    wc.lpszClassName = L"WheelTestForm";
    RegisterClassExW(&wc);
    const HWND other = CreateWindowExW(0, L"WheelTestForm", L"", WS_POPUP | WS_VISIBLE, 600, 500, 400, 300,
                                       nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    const HWND own = CreateWindowExW(0, L"Chrome_RenderWidgetHostHWND", L"", WS_CHILD | WS_VISIBLE, 0, 0, 200,
                                     100, other, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetCursorPos(700, 650);
    ASSERT_EQ(WindowFromPoint({700, 650}), other);
    PostMessageW(H(control->Handle()), WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    Pump();
    SetCursorPos(650, 520);
    ASSERT_EQ(WindowFromPoint({650, 520}), own);
    gOwnRendererWheels = 0;
    PostMessageW(FForm, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    Pump();
    EXPECT_EQ(gOwnRendererWheels, 1);
    control->Free();
    PostMessageW(FForm, WM_MOUSEWHEEL, MAKEWPARAM(0, 120), 0);
    Pump();
    EXPECT_EQ(gOwnRendererWheels, 1);
    EXPECT_EQ(Lines("wheel").size(), 2u);
    DestroyWindow(other);
}

TEST_F(WebControlOnStandIn, DestroyingTheControlClosesItsFormAndTellsTheMainWindowTwice) {
    TWebCoreControl* control = TWebCoreControl::Create(reinterpret_cast<TFwHandle>(FForm), FW);
    control->SetUrl("http://page");
    const HWND form = H(control->WebCoreForm()->Handle());
    control->Free();
    EXPECT_FALSE(IsWindow(form));
    auto closed = Lines("formClosed");
    ASSERT_EQ(closed.size(), 2u);
    EXPECT_EQ(closed[0]->GetI("form"), N(form));
    EXPECT_EQ(closed[1]->GetI("form"), N(form));

    // The owner frees its controls: destroying the form's window takes the control with it.
    TWebCoreControl* second = TWebCoreControl::Create(reinterpret_cast<TFwHandle>(FForm), FW);
    second->SetUrl("http://page/2");
    const HWND secondForm = H(second->WebCoreForm()->Handle());
    DestroyWindow(FForm);
    EXPECT_FALSE(IsWindow(secondForm));
    closed = Lines("formClosed");
    ASSERT_EQ(closed.size(), 4u);
    EXPECT_EQ(closed[3]->GetI("form"), N(secondForm));
}

TEST_F(WebControlOnStandIn, SampleModuleEmbedsAPageInItsOwnWindowAndRunsAScript) {
    ASSERT_TRUE(CopyTestFile(TestProgramFolder() + L"SampleModule.dll", FFolder.Path() + L"ModWeb.dll"));
    WriteWholeFile(FFolder.Path() + L"ModWeb.ini", "[module]\r\nwebControl=1\r\nwebUrl=http://module/page\r\n"
                                                   "webScript=moduleReady();\r\n");
    const HMODULE module = LoadLibraryW((FFolder.Path() + L"ModWeb.dll").c_str());
    ASSERT_NE(module, nullptr);
    auto init =
        reinterpret_cast<TModuleIniFun>(reinterpret_cast<void*>(GetProcAddress(module, "ModuleInit")));
    ASSERT_NE(init, nullptr);
    EXPECT_TRUE(IsTrue(init(FW.Intf())));

    auto made = Lines("webForm");
    ASSERT_EQ(made.size(), 1u);
    const HWND control = reinterpret_cast<HWND>(static_cast<intptr_t>(made[0]->GetI("parent")));
    EXPECT_EQ(ClassOf(control), "TWebCoreControl");
    EXPECT_EQ(ClassOf(GetParent(control)), "SampleModuleWindow");
    auto nav = Lines("navigate");
    ASSERT_EQ(nav.size(), 1u);
    EXPECT_EQ(nav[0]->GetS("url"), "http://module/page");
    auto scripts = Lines("script");
    ASSERT_EQ(scripts.size(), 1u);
    EXPECT_EQ(scripts[0]->GetS("text"), "moduleReady();");
    EXPECT_TRUE(scripts[0]->GetB("ok"));
    DestroyWindow(GetParent(control));
    EXPECT_EQ(Lines("formClosed").size(), 2u);
}
