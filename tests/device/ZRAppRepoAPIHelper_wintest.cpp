#include "device/LocalEnv.h"
#include "device/ZRAppRepoAPIHelper.h"
#include "foundation/Json.h"
#include "foundation/KeyListValue.h"
#include "foundation/TextCodec.h"
#include "support/WinTestEnv.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {
const char kAssistant[] = "09730100010000";

// A folder holding the stand-in repository library (or not), its records and its call log.
struct RepoFolder {
    TTestFolder Folder{L"zrrepo"};
    std::wstring Data = Folder.Path() + L"ZRAppRepo.ini";
    std::wstring Log = Folder.Path() + L"calls.jsonl";
    TScopedEnv DataEnv{L"APPFRAME_ZRAPPREPO_DATA", Data};
    TScopedEnv LogEnv{L"APPFRAME_ZRAPPREPO_LOG", Log};

    void Install(const std::wstring& from = TestProgramFolder() + L"ZRAppRepo.dll") {
        ASSERT_TRUE(CopyTestFile(from, Folder.Path() + L"ZRAppRepo.dll"));
    }
    // Records are written as UTF-16 so that any text survives.
    void Records(const std::string& utf8Ini) {
        std::u16string text(1, u'\xFEFF');
        text.append(Utf8ToUtf16(utf8Ini));
        WriteWholeFile(Data, std::string_view(reinterpret_cast<const char*>(text.data()), text.size() * 2));
    }
    std::vector<JsonRef> Calls() const { return ReadJsonLines(Log); }
};
} // namespace

TEST(ZRAppRepoAPIHelper, AbsentLibraryAnswersMinusOneEverywhere) {
    RepoFolder env;
    TZRAppRepoAPIHelper repo(env.Folder.Utf8());
    EXPECT_FALSE(repo.IsLoaded());
    EXPECT_EQ(repo.RepoLib(), env.Folder.Utf8() + "ZRAppRepo.dll");
    TWideResultBuffer a(10), b(10), c(10);
    uint32_t count = 7;
    TAppRepoEntry entry{"untouched", "", ""};
    EXPECT_EQ(repo.QueryAppRepo(kAssistant, entry), -1);
    EXPECT_EQ(entry.Version, "untouched");
    EXPECT_EQ(repo.QueryAppRepo(kAssistant, a, b, c), -1);
    EXPECT_EQ(repo.InstallAppToRepo("x", "1", a, "p"), -1);
    EXPECT_EQ(repo.UpdateAppRepo("x", "1", "p"), -1);
    EXPECT_EQ(repo.DeleteAppRepo("x"), -1);
    EXPECT_EQ(repo.GetAppRepoPIDList(a), -1);
    EXPECT_EQ(repo.SetAppRepoExt("x", "k", "v"), -1);
    EXPECT_EQ(repo.GetAppRepoExt("x", "k", a), -1);
    EXPECT_EQ(repo.GetAppRepoExtA("x", 0, a, b), -1);
    EXPECT_EQ(repo.GetAppRepoExtCount("x", count), -1);
    EXPECT_EQ(count, 7u);
    EXPECT_EQ(repo.DeleteAppRepoExt("x", "k"), -1);
    EXPECT_EQ(TZRAppRepoAPIHelper("").IsLoaded(), false);
}

TEST(ZRAppRepoAPIHelper, QueryFindsTheAssistantWithTheProgramsBufferSizes) {
    RepoFolder env;
    env.Install();
    env.Records("[09730100010000]\r\nVersion=V2.1.1\r\nParams=Main=助手.exe;Exccmd=-x;\r\n"
                "Path=C:\\Program Files\\税务助手\r\n");
    TZRAppRepoAPIHelper repo(env.Folder.Utf8());
    ASSERT_TRUE(repo.IsLoaded());
    TAppRepoEntry entry;
    ASSERT_EQ(repo.QueryAppRepo(kAssistant, entry), 0);
    EXPECT_EQ(entry.Version, "V2.1.1");
    EXPECT_EQ(entry.AppPath, "C:\\Program Files\\税务助手");
    EXPECT_EQ(GetKeyListValue(entry.FuncParams, "Main"), "助手.exe");
    EXPECT_EQ(GetKeyListValue(entry.FuncParams, "Exccmd"), "-x");

    // What the library saw: the application id, and prefixes announcing 255, 500 and 500
    // characters, the parameter buffer handed over empty.
    const auto calls = env.Calls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0]->GetS("call"), "QueryAppRepo");
    EXPECT_EQ(calls[0]->GetS("appId"), kAssistant);
    EXPECT_EQ(calls[0]->GetI("versionCapacity"), 255);
    EXPECT_EQ(calls[0]->GetI("paramsCapacity"), 500);
    EXPECT_EQ(calls[0]->GetI("appPathCapacity"), 500);
    ASSERT_TRUE(calls[0]->GetO("paramsIn"));
    EXPECT_EQ(calls[0]->GetS("paramsIn"), "");
}

TEST(ZRAppRepoAPIHelper, UnknownApplicationLeavesTheEntryAlone) {
    RepoFolder env;
    env.Install();
    env.Records("[other]\r\nVersion=1\r\n");
    TZRAppRepoAPIHelper repo(env.Folder.Utf8());
    TAppRepoEntry entry{"v", "p", "a"};
    EXPECT_EQ(repo.QueryAppRepo(kAssistant, entry), 1);
    EXPECT_EQ(entry.Version, "v");
    EXPECT_EQ(entry.AppPath, "a");
}

TEST(ZRAppRepoAPIHelper, ResultLongerThanItsBufferIsCutToCapacity) {
    RepoFolder env;
    env.Install();
    const std::string longPath = "C:\\" + std::string(600, 'p');
    env.Records("[09730100010000]\r\nVersion=V2.1.1\r\nParams=Main=a.exe\r\nPath=" + longPath + "\r\n");
    TZRAppRepoAPIHelper repo(env.Folder.Utf8());
    TWideResultBuffer version(4), params(500), path(500);
    EXPECT_EQ(repo.QueryAppRepo(kAssistant, version, params, path), 122);
    EXPECT_EQ(version.Utf8(), "V2.");
    EXPECT_EQ(path.Utf8(), longPath.substr(0, 499));
    EXPECT_EQ(path.Prefix(), 1004u);
    EXPECT_EQ(version.Prefix(), 12u);
    TAppRepoEntry entry;
    EXPECT_EQ(repo.QueryAppRepo(kAssistant, entry), 122);
    EXPECT_EQ(entry.AppPath, "");
}

TEST(ZRAppRepoAPIHelper, StandInWritesNothingPastTheAnnouncedCapacity) {
    // Tests of the program rely on the stand-in honouring the prefix, so check it with guard
    // characters behind a small announced capacity.
    RepoFolder env;
    env.Install();
    env.Records("[app]\r\nVersion=123456789\r\nParams=abcdefghij\r\nPath=C:\\long\\path\r\n");
    HMODULE lib = LoadLibraryW((env.Folder.Path() + L"ZRAppRepo.dll").c_str());
    ASSERT_NE(lib, nullptr);
    auto query = reinterpret_cast<TZRAppRepoAPIHelper::TQueryAppRepo>(
        reinterpret_cast<void*>(GetProcAddress(lib, "QueryAppRepo")));
    ASSERT_NE(query, nullptr);
    struct Guarded {
        uint32_t Prefix;
        wchar_t Text[16];
    };
    Guarded bufs[3];
    wchar_t* ptrs[3];
    for (int i = 0; i < 3; ++i) {
        bufs[i].Prefix = 2 * 4 + 4; // four characters
        for (wchar_t& ch : bufs[i].Text)
            ch = L'#';
        bufs[i].Text[0] = 0;
        ptrs[i] = bufs[i].Text;
    }
    EXPECT_EQ(query(L"app", &ptrs[0], &ptrs[1], &ptrs[2]), 122);
    EXPECT_EQ(std::wstring(bufs[0].Text), L"123");
    EXPECT_EQ(std::wstring(bufs[1].Text), L"abc");
    EXPECT_EQ(std::wstring(bufs[2].Text), L"C:\\");
    for (const Guarded& g : bufs)
        for (int i = 4; i < 16; ++i)
            EXPECT_EQ(g.Text[i], L'#');
    FreeLibrary(lib);
}

TEST(ZRAppRepoAPIHelper, LibraryLackingAnExportStillServesTheOthers) {
    RepoFolder env;
    env.Install(TestBuildFolder() + L"stubvariants\\ZRAppRepo-noquery\\ZRAppRepo.dll");
    env.Records("[09730100010000]\r\nVersion=V2.1.1\r\n");
    TZRAppRepoAPIHelper repo(env.Folder.Utf8());
    EXPECT_TRUE(repo.IsLoaded());
    TAppRepoEntry entry;
    EXPECT_EQ(repo.QueryAppRepo(kAssistant, entry), -1);
    EXPECT_EQ(repo.SetAppRepoExt(kAssistant, "k", "v"), 0);
    uint32_t count = 0;
    EXPECT_EQ(repo.GetAppRepoExtCount(kAssistant, count), 0);
    EXPECT_EQ(count, 1u);
}

TEST(ZRAppRepoAPIHelper, EveryOperationReachesTheLibraryWithItsArgumentsInOrder) {
    RepoFolder env;
    env.Install();
    TZRAppRepoAPIHelper repo(env.Folder.Utf8());
    ASSERT_TRUE(repo.IsLoaded());

    TWideResultBuffer params(100, u"Main=app.exe;");
    EXPECT_EQ(repo.InstallAppToRepo("APP1", "1.0.0", params, "C:\\Apps\\一"), 0);
    EXPECT_EQ(params.Utf8(), "Main=app.exe;");
    EXPECT_EQ(repo.UpdateAppRepo("APP1", "1.2.0", "C:\\Apps\\二"), 0);
    EXPECT_EQ(repo.UpdateAppRepo("NOPE", "1", "x"), 1);

    TWideResultBuffer ver(20), par(100), path(100);
    ASSERT_EQ(repo.QueryAppRepo("APP1", ver, par, path), 0);
    EXPECT_EQ(ver.Utf8(), "1.2.0");
    EXPECT_EQ(par.Utf8(), "Main=app.exe;");
    EXPECT_EQ(path.Utf8(), "C:\\Apps\\二");

    EXPECT_EQ(repo.SetAppRepoExt("APP1", "color", "蓝"), 0);
    EXPECT_EQ(repo.SetAppRepoExt("APP1", "size", "9"), 0);
    uint32_t count = 0;
    EXPECT_EQ(repo.GetAppRepoExtCount("APP1", count), 0);
    EXPECT_EQ(count, 2u);
    TWideResultBuffer key(20), value(20);
    EXPECT_EQ(repo.GetAppRepoExtA("APP1", 1, key, value), 0);
    EXPECT_EQ(key.Utf8(), "size");
    EXPECT_EQ(value.Utf8(), "9");
    EXPECT_EQ(repo.GetAppRepoExt("APP1", "color", value), 0);
    EXPECT_EQ(value.Utf8(), "蓝");
    EXPECT_EQ(repo.DeleteAppRepoExt("APP1", "color"), 0);
    EXPECT_EQ(repo.GetAppRepoExt("APP1", "color", value), 1);

    EXPECT_EQ(repo.InstallAppToRepo("APP2", "2", params, "D:\\"), 0);
    TWideResultBuffer pids(100);
    EXPECT_EQ(repo.GetAppRepoPIDList(pids), 0);
    EXPECT_EQ(pids.Utf8(), "APP1;APP2;");
    EXPECT_EQ(repo.DeleteAppRepo("APP1"), 0);
    EXPECT_EQ(repo.QueryAppRepo("APP1", ver, par, path), 1);
}

TEST(ZRAppRepoAPIHelper, ProcessWideInstanceUsesTheSharedFolder) {
    const std::string folder = SharedEnvFolder();
    TTestFolder data(L"zrrepo-shared");
    TScopedEnv dataEnv(L"APPFRAME_ZRAPPREPO_DATA", data.Path() + L"ZRAppRepo.ini");
    TScopedEnv logEnv(L"APPFRAME_ZRAPPREPO_LOG", data.Path() + L"calls.jsonl");
    WriteWholeFile(data.Path() + L"ZRAppRepo.ini", "[09730100010000]\r\nVersion=V2.1.1\r\nPath=C:\\A\r\n");
    ASSERT_TRUE(CopyTestFile(TestProgramFolder() + L"ZRAppRepo.dll", Widen(folder) + L"ZRAppRepo.dll"));
    TZRAppRepoAPIHelper& repo = TZRAppRepoAPIHelper::Instance();
    EXPECT_EQ(&repo, &TZRAppRepoAPIHelper::Instance());
    EXPECT_EQ(repo.RepoLib(), folder + "ZRAppRepo.dll");
    ASSERT_TRUE(repo.IsLoaded());
    TAppRepoEntry entry;
    EXPECT_EQ(repo.QueryAppRepo(kAssistant, entry), 0);
    EXPECT_EQ(entry.AppPath, "C:\\A");
}
