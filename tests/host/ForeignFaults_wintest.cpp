// Outside libraries that fail the way Object Pascal programs fail (tests/probes/ProbeFault.pas):
// exceptions raised inside the account and push libraries and inside extension modules reach the
// client's ordinary error handling, with their own messages, and the client answers on; a crash
// on a library's own thread leaves a crash dump and a line in the daily log.
#include "ClientRig.h"

#include "support/PushLibraryEnv.h"

#include <gtest/gtest.h>

#include <string>

using namespace clienttest;

namespace {

const std::wstring& Probes() {
    static const std::wstring folder = TestBuildFolder() + L"probes\\";
    return folder;
}

JsonRef AnswerTo(const TClientFolder& folder, int callerNo) {
    for (const JsonRef& line : folder.TranscriptOf("answer"))
        if (line->GetI("callerNo") == callerNo) return line;
    return nullptr;
}

// A scenario step: app.login with the given name (and password "p1" for "u1", else "x").
std::string Login(int after, int callerNo, const std::string& name) {
    return R"({"after":)" + std::to_string(after) + R"(,"do":"event","name":"app.login","callerNo":)" +
           std::to_string(callerNo) + R"(,"paramTypes":[4],"paramValues":["{\"loginName\":\")" + name +
           R"(\",\"password\":\")" + (name == "u1" ? "p1" : "x") + R"(\"}"]},)";
}

bool Has(const std::string& log, const std::string& text) {
    return log.find(text) != std::string::npos;
}

std::wstring PushFolder() {
    return PushLibraryPlace().substr(0, PushLibraryPlace().rfind(L'\\') + 1);
}

// The faults of the push library, beside it, for the scope.
class TPushFaults {
public:
    explicit TPushFaults(const std::string& words) : FPath(PushFolder() + L"ProbeFaults.txt") {
        WriteWholeFile(FPath, words);
    }
    ~TPushFaults() { DeleteFileW(FPath.c_str()); }

private:
    std::wstring FPath;
};

// What the system does with a crash after the client's report: here a "debugger" that ends at
// once, so the crashed client ends instead of waiting for one.
class TNoCrashDebugger {
public:
    TNoCrashDebugger() {
        RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &FKey, nullptr);
        DWORD size = sizeof FOld;
        FHadOld = RegQueryValueExW(FKey, L"Debugger", nullptr, nullptr, reinterpret_cast<BYTE*>(FOld),
                                   &size) == ERROR_SUCCESS;
        Set(L"cmd.exe /c exit");
    }
    ~TNoCrashDebugger() {
        if (FHadOld)
            Set(FOld);
        else
            RegDeleteValueW(FKey, L"Debugger");
        RegCloseKey(FKey);
    }

private:
    static constexpr wchar_t kKey[] = L"Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug";
    void Set(const wchar_t* value) {
        RegSetValueExW(FKey, L"Debugger", 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                       static_cast<DWORD>((wcslen(value) + 1) * sizeof(wchar_t)));
    }
    HKEY FKey = nullptr;
    wchar_t FOld[512] = {};
    bool FHadOld = false;
};

} // namespace

TEST(ForeignFaults, ExceptionsInsideLibrariesAndModulesAreLoggedAndTheClientAnswersOn) {
    TClientFolder folder(L"foreign-faults");
    ASSERT_TRUE(CopyTestFile(Probes() + L"ProbeAccount.dll", folder.Path() + L"ZRAccount.dll"));
    for (const wchar_t* module : {L"ModRaise.dll", L"ModCrash.dll", L"ModOk.dll"})
        ASSERT_TRUE(CopyTestFile(Probes() + L"ProbeFaulty.dll", folder.Path() + module));
    folder.Write(L"MainFest.cfg", R"({"AppID":")" + folder.AppId() + R"(","extendModule":{"Modules":{
        "r":"ModRaise.ModuleInit","c":"ModCrash.ModuleInit","ok":"ModOk.ModuleInit"}}})");
    folder.Write(L"ProbeFaults.txt",
                 "initApp\r\nuserInfo\r\nModRaise.dll:moduleRaise\r\nModCrash.dll:moduleCrash\r\n");
    TPushLibraryInPlace push(Probes() + L"ProbePush.dll");
    TPushFaults pushFaults("fetchEx\r\n");
    const std::wstring pushRecord = PushFolder() + L"ProbePush.jsonl";
    DeleteFileW(pushRecord.c_str());
    folder.SetScenario(R"({"steps":[{"do":"event","type":3},)" + Login(100, 1, "raise") +
                       Login(300, 0, "raise") + Login(100, 2, "u1") + R"(
        {"after":300,"do":"event","name":"app.userinfor","callerNo":0},
        {"after":100,"do":"event","name":"msg.GetMessage","callerNo":3,"paramTypes":[4,0,0],
         "paramValues":["000000_ZYTZ,xctp",10,0]},
        {"after":300,"do":"event","name":"msg.GetMessage","callerNo":4,"paramTypes":[4,0,0],
         "paramValues":["000000_ZYTZ,xctp",10,0]},
        {"after":2500,"do":"close"}]})");
    auto client = folder.Start();
    ASSERT_TRUE(client);
    EXPECT_EQ(client->WaitForExit(), 0u);

    const std::string mainLog = folder.FrameworkLog();
    const std::string dailyLog = folder.DailyLog();
    // A UTF-16 message, on the background runner and in a synchronous call.
    EXPECT_TRUE(Has(mainLog, "异步执行:login[login]时异常:网络连接失败：服务器无响应")) << mainLog;
    EXPECT_TRUE(Has(mainLog, "OnMainFormEvent app.login: 网络连接失败：服务器无响应")) << mainLog;
    // An 8-bit message in the system code page, at the account service's start.
    EXPECT_TRUE(Has(dailyLog, "TAccountSvr.InitEnvironment 异常：初始化失败：缺少产品密钥")) << dailyLog;
    // An access violation in a user-object call, as Object Pascal programs word it.
    EXPECT_TRUE(Has(mainLog, "CallActionFun 异常：Access violation at address ")) << mainLog;
    EXPECT_TRUE(Has(mainLog, " in module 'ZRAccount.dll'. Write of address 00000000")) << mainLog;
    // The client answered on: the sign-in after the failures, and both fetches, the raising one
    // included.
    const JsonRef login = AnswerTo(folder, 2);
    ASSERT_TRUE(login);
    EXPECT_EQ(login->GetS("text"), R"({"Logined":true,"Msg":"登录成功"})");
    EXPECT_TRUE(AnswerTo(folder, 3));
    EXPECT_TRUE(AnswerTo(folder, 4));
    EXPECT_GE(ReadJsonLines(pushRecord, "fetchEx").size(), 2u); // the first one raised
    // Modules: each failure on its own line, the walk going on to the next module.
    EXPECT_TRUE(Has(mainLog + dailyLog, "加载模块异常-模块初始化失败"));
    EXPECT_TRUE(Has(mainLog + dailyLog, "加载模块异常-Access violation at address "));
    EXPECT_TRUE(Has(mainLog + dailyLog, "in module 'ModCrash.dll'. Write of address 00000000"));
    EXPECT_EQ(ReadJsonLines(folder.Path() + L"ProbeFaulty.jsonl", "moduleInit").size(), 1u);
}

TEST(ForeignFaults, AnEightBitClassSignsInAndACrashOnALibraryThreadLeavesADump) {
    TClientFolder folder(L"foreign-crash");
    ASSERT_TRUE(CopyTestFile(Probes() + L"ProbeAccount.dll", folder.Path() + L"ZRAccount.dll"));
    folder.Write(L"ProbeFaults.txt", "ansiClass\r\n");
    TNoCrashDebugger noDebugger;
    folder.SetScenario(R"({"steps":[{"do":"event","type":3},)" + Login(100, 1, "u1") +
                       Login(500, 2, "threadcrash") +
                       R"(
        {"after":10000,"do":"close"}]})");
    auto client = folder.Start();
    ASSERT_TRUE(client);
    const DWORD exitCode = client->WaitForExit();
    EXPECT_NE(exitCode, 0u);
    EXPECT_NE(exitCode, STILL_ACTIVE);

    const JsonRef login = AnswerTo(folder, 1);
    ASSERT_TRUE(login);
    EXPECT_EQ(login->GetS("text"), R"({"Logined":true,"Msg":"登录成功"})");
    const std::string dailyLog = folder.DailyLog();
    EXPECT_TRUE(Has(dailyLog, "Unhandled exception C0000005 at ")) << dailyLog;
    EXPECT_TRUE(Has(dailyLog, "(ZRAccount.dll+0x")) << dailyLog;
    EXPECT_TRUE(Has(dailyLog, "; crash dump: ")) << dailyLog;
    WIN32_FIND_DATAW found{};
    const HANDLE search = FindFirstFileW((folder.Path() + L"Temp\\AppFrame_*.dmp").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    FindClose(search);
    EXPECT_GT(found.nFileSizeLow, 0u);
}
