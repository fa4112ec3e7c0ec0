#include "device/LocalEnv.h"
#include "device/ZRSvcAPIHelper.h"
#include "foundation/Json.h"
#include "foundation/TextCodec.h"
#include "support/WinTestEnv.h"

#include <gtest/gtest.h>

namespace {
// A folder holding the stand-in library (or not), with its call log.
struct SvcFolder {
    TTestFolder Folder{L"zrsvc"};
    std::wstring Log = Folder.Path() + L"calls.jsonl";
    TScopedEnv LogEnv{L"APPFRAME_ZRSERVICE_LOG", Log};

    void Install(const std::wstring& from = TestProgramFolder() + L"ZRService.dll") {
        ASSERT_TRUE(CopyTestFile(from, Folder.Path() + L"ZRService.dll"));
    }
    std::vector<JsonRef> Calls() const { return ReadJsonLines(Log); }
};
} // namespace

TEST(ZRSvcAPIHelper, AbsentLibraryAnswersNotLoadedResultsAndIsNotRetried) {
    SvcFolder env;
    TZRSvcAPIHelper svc(env.Folder.Utf8());
    EXPECT_FALSE(svc.IsLoaded());
    EXPECT_EQ(svc.ServiceLib(), env.Folder.Utf8() + "ZRService.dll");
    EXPECT_FALSE(svc.InstallService("1.0"));
    EXPECT_EQ(svc.AddService("HB_QELT_DWIN", "SvcBin=x;EventPlan=180;"), 0);
    EXPECT_EQ(svc.DeleteService("HB_QELT_DWIN"), 0);
    svc.UninstallService();

    // The library appearing later changes nothing for this wrapper.
    env.Install();
    EXPECT_FALSE(svc.IsLoaded());
    EXPECT_EQ(svc.AddService("HB_QELT_DWIN", "SvcBin=x;EventPlan=180;"), 0);
    EXPECT_TRUE(env.Calls().empty());
}

TEST(ZRSvcAPIHelper, EmptyRootLoadsNothing) {
    TZRSvcAPIHelper svc("");
    EXPECT_FALSE(svc.IsLoaded());
    EXPECT_EQ(svc.ServiceLib(), "");
    EXPECT_EQ(svc.AddService("x", "y"), 0);
}

TEST(ZRSvcAPIHelper, LibraryLackingOneExportIsNeverCalled) {
    SvcFolder env;
    env.Install(TestBuildFolder() + L"stubvariants\\ZRService-nodelete\\ZRService.dll");
    TZRSvcAPIHelper svc(env.Folder.Utf8());
    EXPECT_FALSE(svc.IsLoaded());
    EXPECT_EQ(svc.AddService("HB_QELT_DWIN", "SvcBin=x;EventPlan=180;"), 0);
    EXPECT_FALSE(svc.InstallService("1.0"));
    EXPECT_TRUE(env.Calls().empty());
}

TEST(ZRSvcAPIHelper, ForwardsEveryCallWithItsArguments) {
    SvcFolder env;
    env.Install();
    TZRSvcAPIHelper svc(env.Folder.Utf8());
    ASSERT_TRUE(svc.IsLoaded());

    EXPECT_TRUE(svc.InstallService("2.0.1"));
    const std::string exe = "C:\\Program Files\\客户端\\HelpSvc.exe";
    EXPECT_EQ(svc.AddService("HB_QELT_DWIN", HelpServiceParams(exe)), 1);
    EXPECT_EQ(svc.DeleteService("HB_QELT_DWIN"), 1);
    svc.UninstallService();

    const auto calls = env.Calls();
    ASSERT_EQ(calls.size(), 4u);
    EXPECT_EQ(calls[0]->GetS("call"), "InstallService");
    EXPECT_EQ(calls[0]->GetS("rootPath"), env.Folder.Utf8());
    EXPECT_EQ(calls[0]->GetS("serviceLib"), env.Folder.Utf8() + "ZRService.dll");
    EXPECT_EQ(calls[0]->GetS("version"), "2.0.1");
    EXPECT_EQ(calls[1]->GetS("call"), "AddService");
    EXPECT_EQ(calls[1]->GetS("svcId"), "HB_QELT_DWIN");
    // Chinese text crosses in the ANSI code page and arrives whole.
    EXPECT_EQ(calls[1]->GetS("funcParams"), "SvcBin=" + exe + ";EventPlan=180;");
    EXPECT_EQ(calls[2]->GetS("call"), "DeleteService");
    EXPECT_EQ(calls[2]->GetS("svcId"), "HB_QELT_DWIN");
    EXPECT_EQ(calls[3]->GetS("call"), "UninstallService");
}

TEST(ZRSvcAPIHelper, AddServiceAnswersTheLibraryResultWhoseLowByteDecides) {
    SvcFolder env;
    env.Install();
    TZRSvcAPIHelper svc(env.Folder.Utf8());
    ASSERT_TRUE(svc.IsLoaded());
    struct Case {
        const wchar_t* Answer;
        int32_t Result;
        bool Success;
    };
    for (const Case& c : {Case{L"0", 0, false}, Case{L"1", 1, true}, Case{L"0x100", 0x100, false},
                          Case{L"0x101", 0x101, true}, Case{L"0xFFFFFFFF", -1, true}}) {
        TScopedEnv answer(L"APPFRAME_ZRSERVICE_RESULT", c.Answer);
        const int32_t r = svc.AddService("SvcID", "SvcBin=a.exe;EventPlan=180;");
        EXPECT_EQ(r, c.Result);
        EXPECT_EQ(IsServiceCallSuccess(r), c.Success);
    }
}

TEST(ZRSvcAPIHelper, DeploymentTextLongerThanTheUsualBufferArrivesWhole) {
    SvcFolder env;
    env.Install();
    TZRSvcAPIHelper svc(env.Folder.Utf8());
    ASSERT_TRUE(svc.IsLoaded());
    const std::string exe = "C:\\" + std::string(1500, 'd') + "\\Help.exe";
    EXPECT_EQ(svc.AddService("SvcID", HelpServiceParams(exe)), 1);
    const auto calls = env.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]->GetS("funcParams"), HelpServiceParams(exe));
}

TEST(ZRSvcAPIHelper, ProcessWideInstanceUsesTheSharedFolderOnTheSystemDrive) {
    const std::string folder = SharedEnvFolder();
    wchar_t sysDir[MAX_PATH] = {};
    GetSystemDirectoryW(sysDir, MAX_PATH);
    ASSERT_EQ(folder, std::string(1, static_cast<char>(sysDir[0])) + ":\\Corvane\\WLEnvUpdate\\");

    TTestFolder logFolder(L"zrsvc-shared");
    TScopedEnv log(L"APPFRAME_ZRSERVICE_LOG", logFolder.Path() + L"calls.jsonl");
    ASSERT_TRUE(CopyTestFile(TestProgramFolder() + L"ZRService.dll", Widen(folder) + L"ZRService.dll"));
    TZRSvcAPIHelper& svc = TZRSvcAPIHelper::Instance();
    EXPECT_EQ(&svc, &TZRSvcAPIHelper::Instance());
    EXPECT_EQ(svc.RootPath(), folder);
    ASSERT_TRUE(svc.IsLoaded());
    EXPECT_EQ(svc.AddService("HB_QELT_DWIN", HelpServiceParams("C:\\a.exe")), 1);
    EXPECT_EQ(ReadFileLines(logFolder.Path() + L"calls.jsonl").size(), 1u);
}
