#include "HostTestSupport.h"

#include "actions/LibraryCall.h"
#include "device/ZRSvcAPIHelper.h"
#include "foundation/Json.h"
#include "foundation/TextCodec.h"
#include "support/ServiceFakes.h"

#include <gtest/gtest.h>

#include <memory>

using namespace hosttest;

namespace {

class HostExtensionModules : public ::testing::Test {
protected:
    void SetUp() override {
        Folder.Write("MainFest.cfg", R"({"AppID":"ModulesTest","extendModule":{"Modules":{
            "good":"ModGood.ModuleInit", "falsy":"ModFalse.ModuleInit", "missing":"ModMissing.ModuleInit",
            "nofun":"ModGood.NoSuchInit", "nodot":"ModGood", "":"ModGood.ModuleInit"}}})");
        Folder.CopyFromProgram("SampleModule.dll", "ModGood.dll");
        Folder.CopyFromProgram("SampleModule.dll", "ModFalse.dll");
        Folder.Write("ModGood.ini", "[module]\r\nanswer=good\r\n");
        Folder.Write("ModFalse.ini", "[module]\r\ninit=0\r\nanswer=falsy\r\ncall=1\r\n");
        Context = std::make_unique<TQeltContext>(FakeSettings(Folder.Path(), Framework, Port, Runner));
        Context->LoadExtendModules();
    }

    TTempFolder Folder{"modules"};
    TFakeFramework Framework;
    TFakePort Port;
    TFakeRunner Runner;
    std::unique_ptr<TQeltContext> Context;
};

TEST_F(HostExtensionModules, EveryFailureIsLoggedAndLoadingGoesOn) {
    const std::string p = Folder.Path();
    EXPECT_TRUE(Framework.Logged(u8"加载模块异常-错误：模块[" + p + u8"ModMissing.dll]未找到!"));
    EXPECT_TRUE(Framework.Logged(u8"加载模块异常-" + p + u8"ModGood.dll的函数NoSuchInit未找到！"));
    EXPECT_TRUE(Framework.Logged(u8"模块[" + p + u8"ModFalse.dll(ModuleInit)]返回False"));
    EXPECT_EQ(Framework.LogLines.size(), 3u);
}

TEST_F(HostExtensionModules, ModulesAreInitialisedWithTheFrameworkInterfaceAndListed) {
    ASSERT_EQ(Framework.ModuleLog.size(), 2u);
    EXPECT_NE(
        std::find(Framework.ModuleLog.begin(), Framework.ModuleLog.end(), "SampleModule ModGood.dll init"),
        Framework.ModuleLog.end());
    EXPECT_NE(
        std::find(Framework.ModuleLog.begin(), Framework.ModuleLog.end(), "SampleModule ModFalse.dll init"),
        Framework.ModuleLog.end());
    EXPECT_EQ(Context->ExtModuleNames(), (std::vector<std::string>{"falsy", "good"}));
    EXPECT_EQ(Context->GetExtModulePath("good"), Folder.Path() + "ModGood.dll");
    EXPECT_EQ(Context->GetExtModulePath("falsy"), Folder.Path() + "ModFalse.dll");
    EXPECT_EQ(Context->GetExtModulePath("missing"), "");
    EXPECT_EQ(Context->GetExtModulePath("Good"), "");
}

TEST_F(HostExtensionModules, CallsOfAServiceNamedAfterAModuleReachItsLibrary) {
    Context->Registry().InitAllModules({&RoutingAppClass()});
    EXPECT_EQ(Context->CallActionFun("good.Hello", TVarArgs{TVarRec::Text("x")}), "good:x");
    // Listed although its initialisation answered false.
    EXPECT_EQ(Context->CallActionFun("falsy.Hello", TVarArgs{TVarRec::Text("y")}), "falsy:y");
    EXPECT_EQ(Context->CallActionFun("missing.Hello", TVarArgs{}), "");
    EXPECT_EQ(Context->CallActionFun("good.NoSuchExport", TVarArgs{}), "");
}

TEST_F(HostExtensionModules, LoadingAgainStartsFromAnEmptyList) {
    Framework.LogLines.clear();
    Context->LoadExtendModules();
    EXPECT_EQ(Context->ExtModuleNames(), (std::vector<std::string>{"falsy", "good"}));
    EXPECT_EQ(Framework.LogLines.size(), 3u);
}

TEST(HostExtensionModulesNone, WithoutAFrameworkObjectModulesGetNull) {
    TTempFolder folder("nofw");
    folder.Write("MainFest.cfg", R"({"extendModule":{"Modules":{"m":"Mod.ModuleInit"}}})");
    folder.CopyFromProgram("SampleModule.dll", "Mod.dll");
    TFakeFramework fw;
    fw.ProvideAppFramework = false;
    TFakePort port;
    TFakeRunner runner;
    TQeltContext context(FakeSettings(folder.Path(), fw, port, runner));
    context.LoadExtendModules();
    EXPECT_TRUE(fw.ModuleLog.empty());
    EXPECT_TRUE(fw.LogLines.empty());
    EXPECT_EQ(context.ExtModuleNames(), std::vector<std::string>{"m"});
}

// ---------------------------------------------------------------------------------------------
// Help service

class HostHelpService : public ::testing::Test {
protected:
    void SetUp() override {
        ServiceFolder.CopyFromProgram("ZRService.dll", "ZRService.dll");
        Service = std::make_unique<TZRSvcAPIHelper>(ServiceFolder.Path());
        ASSERT_TRUE(Service->IsLoaded());
        SetEnvironmentVariableW(L"APPFRAME_ZRSERVICE_RESULT", nullptr);
    }
    void TearDown() override { SetEnvironmentVariableW(L"APPFRAME_ZRSERVICE_RESULT", nullptr); }

    std::unique_ptr<TQeltContext> Make(const std::string& appId) {
        Program.Write("MainFest.cfg", R"({"AppID":")" + appId + R"("})");
        TQeltContextSettings s = FakeSettings(Program.Path(), Framework, Port, Runner);
        s.HelpService = Service.get();
        auto context = std::make_unique<TQeltContext>(s);
        context->InitProgram();
        return context;
    }
    std::vector<JsonRef> Calls() {
        std::vector<JsonRef> calls;
        const std::string text = ReadWholeFile(ServiceFolder.Path() + "ZRService.calls.jsonl");
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos) end = text.size();
            if (end > start) calls.push_back(ParseJson(text.substr(start, end - start)));
            start = end + 1;
        }
        return calls;
    }

    TTempFolder ServiceFolder{"svc"};
    TTempFolder Program{"svcprog"};
    TFakeFramework Framework;
    TFakePort Port;
    TFakeRunner Runner;
    std::unique_ptr<TZRSvcAPIHelper> Service;
};

TEST_F(HostHelpService, DeploysTheHelperOfTheProgramFolderUnderTheAppId) {
    Program.Write("WLCorvaneHelp.exe", "");
    auto context = Make("HelpApp");
    context->InitFinished();
    const auto calls = Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]->GetS("call"), "AddService");
    EXPECT_EQ(calls[0]->GetS("svcId"), "HelpApp");
    EXPECT_EQ(calls[0]->GetS("funcParams"), "SvcBin=" + Program.Path() + "WLCorvaneHelp.exe;EventPlan=180;");
    EXPECT_TRUE(Framework.Logged(u8"帮助服务部署成功"));
}

TEST_F(HostHelpService, ALongPathIsHandedOverWhole) {
    auto context = Make("HelpLong");
    // A folder path far beyond the library's 1024-byte buffer.
    std::wstring folder = L"\\\\?\\" + Widen(Program.Path());
    for (int i = 0; i < 6; ++i) {
        folder += std::wstring(200, static_cast<wchar_t>(L'a' + i)) + L"\\";
        CreateDirectoryW(folder.c_str(), nullptr);
    }
    const std::string exe = Narrow(folder) + "WLCorvaneHelp.exe";
    HANDLE h = CreateFileW(Widen(exe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
    context->DeployHelpService(exe);
    const auto calls = Calls();
    ASSERT_EQ(calls.size(), 1u);
    const std::string expected = "SvcBin=" + exe + ";EventPlan=180;";
    EXPECT_GT(expected.size(), 1024u);
    EXPECT_EQ(calls[0]->GetS("funcParams"), expected);
    // Leave nothing too deep for the folder clean-up.
    DeleteFileW(Widen(exe).c_str());
    for (int i = 0; i < 6; ++i) {
        RemoveDirectoryW(folder.c_str());
        folder.resize(folder.size() - 201);
    }
}

TEST_F(HostHelpService, ALibraryAnswerWithAZeroLowByteIsAFailure) {
    SetEnvironmentVariableW(L"APPFRAME_ZRSERVICE_RESULT", L"0x100");
    Program.Write("WLCorvaneHelp.exe", "");
    auto context = Make("HelpFail");
    context->DeployHelpService(Program.Path() + "WLCorvaneHelp.exe");
    EXPECT_TRUE(Framework.Logged(u8"帮助服务部署失败!"));
    EXPECT_FALSE(Framework.Logged(u8"帮助服务部署成功"));
}

TEST_F(HostHelpService, NothingIsDeployedForTheExcludedIdOrWithoutTheHelper) {
    Program.Write("WLCorvaneHelp.exe", "");
    auto excluded = Make("SH_QELT_DWIN");
    excluded->DeployHelpService(Program.Path() + "WLCorvaneHelp.exe");
    excluded.reset();
    auto noHelper = Make("HelpNone");
    noHelper->DeployHelpService(Program.Path() + "Absent.exe");
    EXPECT_TRUE(Calls().empty());
    EXPECT_TRUE(Framework.LogLines.empty());
}

// ---------------------------------------------------------------------------------------------
// Installation record

std::string RegValue(const std::wstring& key, const wchar_t* name) {
    wchar_t buf[2048] = {};
    DWORD size = sizeof buf;
    if (RegGetValueW(HKEY_CURRENT_USER, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buf, &size) !=
        ERROR_SUCCESS)
        return "<missing>";
    return Narrow(buf);
}

TEST(HostInstallRecord, WithoutAProductCodeTheRecordIsWrittenUnderNull) {
    TTempFolder folder("reg");
    folder.Write("MainFest.cfg", "{}");
    TFakeFramework fw;
    TFakePort port;
    TFakeRunner runner;
    TQeltContextSettings s = FakeSettings(folder.Path(), fw, port, runner);
    s.ApplicationTitle = u8"测试客户端";
    TQeltContext context(s);
    const std::wstring key = L"SOFTWARE\\Corvane\\NULL";
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
    context.CheckSoftReg();
    EXPECT_EQ(RegValue(key, L"InstalledPath"), folder.Path());
    EXPECT_EQ(RegValue(key, L"PID"), "NULL");
    EXPECT_EQ(RegValue(key, L"Name"), u8"测试客户端");
    EXPECT_EQ(RegValue(key, L"Version"), "1.0");
    EXPECT_EQ(RegValue(key, L"FileName"), "host_tests.exe");
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());

    // A library that answers an empty code must not write into the maker's own key.
    fw.Params["DyncConfig/DyncParams/ProductCode"] = "";
    context.CheckSoftReg();
    EXPECT_EQ(RegValue(key, L"PID"), "NULL");
    EXPECT_EQ(RegValue(L"SOFTWARE\\Corvane", L"PID"), "<missing>");
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

TEST(HostInstallRecord, TheProductCodeAndVersionComeFromTheControlParameters) {
    TTempFolder folder("reg2");
    folder.Write("MainFest.cfg", "{}");
    TFakeFramework fw;
    fw.Params["DyncConfig/DyncParams/ProductCode"] = "HOSTTEST01";
    fw.Params["AppFrame/System/ver"] = "3.2.1";
    TFakePort port;
    TFakeRunner runner;
    TQeltContext context(FakeSettings(folder.Path(), fw, port, runner));
    const std::wstring key = L"SOFTWARE\\Corvane\\HOSTTEST01";
    context.CheckSoftReg();
    EXPECT_EQ(RegValue(key, L"PID"), "HOSTTEST01");
    EXPECT_EQ(RegValue(key, L"Version"), "3.2.1");
    EXPECT_EQ(RegValue(key, L"Name"), "host_tests");
    RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

} // namespace
