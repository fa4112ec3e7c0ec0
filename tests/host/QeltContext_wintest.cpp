#include "HostTestSupport.h"

#include "foundation/Crypto.h"
#include "foundation/TextCodec.h"
#include "host/HostConfig.h"
#include "host/HostServices.h"
#include "support/FakeAppContext.h"

#include <gtest/gtest.h>

#include <memory>

using namespace hosttest;

namespace {

std::string UniqueId(const std::string& base) {
    return base + "_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(GetTickCount());
}

bool MutexExists(const std::string& name) {
    HANDLE h = OpenMutexW(SYNCHRONIZE, FALSE, Widen(name).c_str());
    if (!h) return false;
    CloseHandle(h);
    return true;
}

// ---------------------------------------------------------------------------------------------
// Construction and identity

TEST(HostContext, MissingManifestFailsConstruction) {
    TContextRig rig("nomanifest");
    DeleteFileW(Widen(rig.Folder.Path() + "MainFest.cfg").c_str());
    EXPECT_THROW(TQeltContext context(rig.Settings()), EManifestError);
}

TEST(HostContext, ManifestThatIsNotJsonLeavesNoManifestAndTheDefaultName) {
    TContextRig rig("badjson", "this is not json");
    auto context = rig.Make();
    EXPECT_EQ(context->MainFest(), "");
    EXPECT_EQ(context->MainFestLines(), std::vector<std::string>{"this is not json"});
    ASSERT_TRUE(context->InitProgram());
    EXPECT_EQ(context->AppID(), "ZRAppFrameWork");
    EXPECT_EQ(context->RegisteredMessage(), RegisterWindowMessageW(L"ZRAppFrameWork"));
    EXPECT_TRUE(MutexExists("ZRAppFrameWork"));
    context.reset();
    EXPECT_FALSE(MutexExists("ZRAppFrameWork"));
}

TEST(HostContext, AppIdComesFromTheEnvironmentFileInAnyLetterCase) {
    const std::string id = UniqueId("EnviId");
    TContextRig rig("envi");
    rig.Folder.Write("Config\\EnviParams.cfg", R"({"ENVIPARAMS":{"appid":"  )" + id + R"(  "}})");
    auto context = rig.Make();
    ASSERT_TRUE(context->InitProgram());
    EXPECT_EQ(context->AppID(), id);
    EXPECT_TRUE(MutexExists(id));
    EXPECT_EQ(context->RegisteredMessage(), RegisterWindowMessageW(Widen(id).c_str()));
}

TEST(HostContext, BlankEnvironmentValueFallsBackToTheManifest) {
    TContextRig rig("blank", R"({"AppID":")" + UniqueId("Manifest") + R"("})");
    rig.Folder.Write("Config\\EnviParams.cfg", R"({"EnviParams":{"AppID":"   "}})");
    auto context = rig.Make();
    ASSERT_TRUE(context->InitProgram());
    EXPECT_EQ(context->AppID().rfind("Manifest_", 0), 0u);
}

TEST(HostContext, RunModesComeFromTheGivenParameters) {
    TContextRig rig("modes", R"({"AppID":")" + UniqueId("Modes") + R"("})");
    TQeltContextSettings s = rig.Settings();
    int watches = 0;
    s.CommandLine = {"x", "RUNMODE=QNB", "needOpenHelp"};
    s.StartDeviceWatch = [&] { ++watches; };
    TQeltContext context(s);
    ASSERT_TRUE(context.InitProgram());
    EXPECT_TRUE(context.bIsRunInQNB());
    EXPECT_TRUE(context.bIsNeedOpenHelp());
    EXPECT_EQ(watches, 1);
}

TEST(HostContext, InterfaceCountingNeverFreesTheContext) {
    TContextRig rig("intf");
    auto context = rig.Make();
    IFwUnknown* intf = context->Intf();
    EXPECT_EQ(intf->AddRef(), 100u);
    EXPECT_EQ(intf->Release(), 100u);
    EXPECT_EQ(intf->Release(), 100u);
    void* same = nullptr;
    EXPECT_EQ(intf->QueryInterface(IID_IFwUnknown, &same), kFwSOk);
    EXPECT_EQ(same, intf);
    EXPECT_EQ(intf->QueryInterface(IID_IAppContext, &same), kFwENoInterface);
}

// ---------------------------------------------------------------------------------------------
// Windows and hooks

TEST(HostContextWindow, IsAChildOfTheApplicationWindowOrAHiddenTopLevelWindow) {
    TContextRig rig("window");
    TTestAppWindow app;
    auto child = rig.Make(app.Get());
    EXPECT_TRUE(IsWindow(child->Handle()));
    EXPECT_EQ(GetParent(child->Handle()), app.Get());
    EXPECT_FALSE(IsWindowVisible(child->Handle()));
    child.reset();
    auto alone = rig.Make();
    EXPECT_EQ(GetAncestor(alone->Handle(), GA_PARENT), GetDesktopWindow());
    EXPECT_FALSE(IsWindowVisible(alone->Handle()));
}

TEST(HostContextWindow, MessagesGoToTheInstalledHandlers) {
    TContextRig rig("handlers");
    auto context = rig.Make();
    context->SetMessageHandler(2026, [](TQeltContext&, WPARAM w, LPARAM) -> LRESULT { return 100 + w; });
    EXPECT_EQ(SendMessageW(context->Handle(), 2026, 5, 0), 105);
    EXPECT_EQ(SendMessageW(context->Handle(), 2027, 5, 0), 0);
    context->SetMessageHandler(2026, nullptr);
    EXPECT_EQ(SendMessageW(context->Handle(), 2026, 5, 0), 0);
    // A handler that raises is caught at the window procedure.
    context->SetMessageHandler(
        2025, [](TQeltContext&, WPARAM, LPARAM) -> LRESULT { throw std::runtime_error("boom"); });
    EXPECT_EQ(SendMessageW(context->Handle(), 2025, 0, 0), 0);
    EXPECT_TRUE(rig.Framework.Logged("boom"));
}

TEST(HostContextWindow, RegisteredMessageReachesTheHookAndOthersTheOldProcedure) {
    TContextRig rig("apphook", R"({"AppID":")" + UniqueId("Hook") + R"("})");
    TTestAppWindow app;
    auto context = rig.Make(app.Get());
    ASSERT_TRUE(context->InitProgram());
    std::vector<std::pair<WPARAM, LPARAM>> seen;
    context->SetAppMessageHandler([&](TQeltContext&, WPARAM code, LPARAM l) { seen.emplace_back(code, l); });
    EXPECT_EQ(context->ApplicationWindow(), app.Get());
    EXPECT_EQ(SendMessageW(app.Get(), context->RegisteredMessage(), 3, 1234), 0);
    EXPECT_EQ(SendMessageW(app.Get(), TTestAppWindow::kPlainMessage, 0, 0), TTestAppWindow::kPlainAnswer);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], (std::pair<WPARAM, LPARAM>(3, 1234)));
    context->RestoreAppWndProc();
    EXPECT_EQ(GetWindowLongPtrW(app.Get(), GWLP_WNDPROC), reinterpret_cast<LONG_PTR>(&TTestAppWindow::Proc));
    SendMessageW(app.Get(), context->RegisteredMessage(), 3, 1);
    EXPECT_EQ(seen.size(), 1u);
}

TEST(HostContextWindow, WithoutAnApplicationWindowTheContextWindowTakesTheRegisteredMessage) {
    TContextRig rig("ownapp", R"({"AppID":")" + UniqueId("Own") + R"("})");
    auto context = rig.Make();
    ASSERT_TRUE(context->InitProgram());
    EXPECT_EQ(context->ApplicationWindow(), context->Handle());
    WPARAM code = 0;
    context->SetAppMessageHandler([&](TQeltContext&, WPARAM c, LPARAM) { code = c; });
    EXPECT_EQ(SendMessageW(context->Handle(), context->RegisteredMessage(), 4, 0), 0);
    EXPECT_EQ(code, 4u);
}

// ---------------------------------------------------------------------------------------------
// Splash time-out

class TCountingSplash final : public ISplashForm {
public:
    explicit TCountingSplash(int& closed) : FClosed(closed) {}
    void Close() override { ++FClosed; }

private:
    int& FClosed;
};

TEST(HostSplash, TimeOutClosesTheSplashOnceAndShowsTheMainWindow) {
    TContextRig rig("splash");
    rig.Framework.Params["DyncConfig/DyncParams/splashWait"] = "20";
    auto context = rig.Make();
    int closed = 0;
    context->SetSplashForm(std::make_unique<TCountingSplash>(closed));
    context->SetMainFormHD(reinterpret_cast<HWND>(0x1234));
    context->SetCheckFlashTime();
    ASSERT_TRUE(PumpUntil([&] { return closed > 0; }));
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(context->HasSplashForm());
    EXPECT_TRUE(context->bIsInited());
    EXPECT_EQ(rig.Framework.ShownForms, std::vector<uintptr_t>{0x1234});
    // The timer is off after it fired once.
    EXPECT_FALSE(KillTimer(context->Handle(), TQeltContext::kSplashTimerId));
    EXPECT_FALSE(context->CloseSplashForm());
}

TEST(HostSplash, ZeroNegativeOrTextWaitLeavesTheTimerOff) {
    for (const char* wait : {"0", "-5", "soon", ""}) {
        TContextRig rig("splashoff");
        rig.Framework.Params["DyncConfig/DyncParams/splashWait"] = wait;
        auto context = rig.Make();
        context->SetCheckFlashTime();
        EXPECT_FALSE(KillTimer(context->Handle(), TQeltContext::kSplashTimerId)) << wait;
    }
    TContextRig rig("splashdefault");
    auto context = rig.Make();
    context->SetCheckFlashTime();
    EXPECT_TRUE(KillTimer(context->Handle(), TQeltContext::kSplashTimerId));
}

// ---------------------------------------------------------------------------------------------
// Registry

TEST(HostRegistry, WithoutTheAccountLibraryNoActionIsRegistered) {
    TContextRig rig("noaccount", R"({"AppID":")" + UniqueId("NoAcc") + R"("})");
    auto context = rig.Make();
    ASSERT_TRUE(context->InitProgram());
    EXPECT_EQ(context->Registry().Count(), 0u);
    EXPECT_EQ(context->CallActionFun("sys.test", TVarArgs{}), "");
}

TEST(HostRegistry, WithTheAccountLibraryTheServicesAreRegistered) {
    TContextRig rig("account", R"({"AppID":")" + UniqueId("Acc") + R"("})");
    rig.Folder.Write("ZRAccount.dll", "");
    auto context = rig.Make();
    ASSERT_TRUE(context->InitProgram());
    EXPECT_NE(context->GetActionReference("sys"), nullptr);
    EXPECT_EQ(context->CallActionFun("sys.test", TVarArgs{}), u8"这是Test的返回值");
    const std::string hex = context->CallActionFun("sys.Enc", TVarArgs{TVarRec::Text(u8"页面")});
    EXPECT_EQ(context->CallActionFun("sys.Dec", TVarArgs{TVarRec::Text(hex)}), u8"页面");
}

// ---------------------------------------------------------------------------------------------
// Environment variables and encrypted parameters

TEST(HostEnviVars, IsLoginIsKeptInTheControlParameters) {
    TContextRig rig("envivars");
    auto context = rig.Make();
    EXPECT_FALSE(context->EnviVars().IsLogin());
    rig.Framework.Params["Sys/State/IsLogin"] = "TRUE";
    EXPECT_TRUE(context->EnviVars().IsLogin());
    EXPECT_EQ(context->EnviVars().ToJson(), R"({"IsLogin":true})");
    context->InitEnviVar();
    EXPECT_EQ(rig.Framework.Params["Sys/State/IsLogin"], "0");
    context->EnviVars().SetIsLogin(true);
    EXPECT_EQ(rig.Framework.Params["Sys/State/IsLogin"], "1");
}

TEST(HostServices, EncryptedProductKeyAndTaxCalendarAddress) {
    TContextRig rig("services");
    rig.Framework.Params["DyncConfig/DyncParams/ProductKey"] = HostEncryptString("PK-1");
    auto context = rig.Make();
    EXPECT_EQ(context->ReadEncryptedParam("DyncConfig", "DyncParams", "ProductKey"), "PK-1");
    EXPECT_EQ(context->DecryptString(context->EncryptString(u8"中文")), u8"中文");
    EXPECT_EQ(context->GetTaxCalendarURL().rfind(kDefaultTaxCalendarHost, 0), 0u);
    rig.Framework.Params["DyncConfig/DyncParams/TaxCalendarHost"] = "https://example.test/client.php?qelt=";
    EXPECT_EQ(context->GetTaxCalendarURL().rfind("https://example.test/client.php?qelt=", 0), 0u);
}

} // namespace
