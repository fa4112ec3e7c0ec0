// The start-up hand-overs of the client as a whole: AppFrameMain.exe under Wine hands the user
// over to BREV or starts the assistant, with the device library stand-in beside the program, the
// repository stand-in in the shared folder and BREV's install location in the registry.
#include "ClientRig.h"

#include "device/LocalEnv.h"
#include "foundation/TextCodec.h"

#include <gtest/gtest.h>

using namespace clienttest;

namespace {

constexpr DWORD kForcedExit = 0xFFFFFFFFu;
constexpr wchar_t kBrevKey[] = L"Software\\Corvane\\brev2.0";

// BREV's registered install location for one test, restored afterwards.
class TBrevInstall {
public:
    TBrevInstall(const std::wstring& folder, const std::wstring& file) {
        FHad = RegOpenKeyExW(HKEY_CURRENT_USER, kBrevKey, 0, KEY_READ, &FSaved) == ERROR_SUCCESS;
        if (FHad) RegCloseKey(FSaved);
        HKEY key = nullptr;
        RegCreateKeyExW(HKEY_CURRENT_USER, kBrevKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr);
        Set(key, L"InstalledPath", folder);
        Set(key, L"FileName", file);
        RegCloseKey(key);
    }
    ~TBrevInstall() {
        if (!FHad) RegDeleteKeyW(HKEY_CURRENT_USER, kBrevKey);
    }

private:
    static void Set(HKEY key, const wchar_t* name, const std::wstring& value) {
        RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    }
    HKEY FSaved = nullptr;
    bool FHad = false;
};

class ClientHandover : public ::testing::Test {
protected:
    void SetUp() override {
        Folder.SetScenario(R"({"steps":[{"do":"close"}]})");
        // The device library beside the program, answering from Device.ini.
        CopyTestFile(TestBuildFolder() + L"stubvariants\\FRXAppSafeguard\\FRXAppSafeguard.dll",
                     Folder.Path() + L"Ferrolux\\FRXAppSafeguard.dll");
        Folder.CopyFromProgram(L"SiblingProgram.exe", L"Sibling\\BREV.exe");
        Folder.CopyFromProgram(L"SiblingProgram.exe", L"Assist\\Assistant.exe");
    }
    void Device(const std::string& version) {
        Folder.Write(L"Device.ini", "[FRX]\r\nVersion=" + version + "\r\nTaxpayerFile=" + Folder.PathUtf8() +
                                        "taxpayers.json\r\n");
        Folder.Write(L"taxpayers.json", R"({"taxpayers":[{"nsrsbh":"91130100MA0001"}]})");
    }
    void Environment(const std::string& members) {
        Folder.Write(L"Config\\EnviParams.cfg", R"({"EnviParams":{)" + members + "}}");
    }
    std::vector<JsonRef> Started() const { return ReadJsonLines(Folder.SiblingLogPath()); }
    std::vector<JsonRef> DeviceCalls() const { return ReadJsonLines(Folder.Path() + L"frx.jsonl"); }

    TClientFolder Folder{L"handover"};
    TScopedEnv DeviceData{L"APPFRAME_FRX_DATA", Folder.Path() + L"Device.ini"};
    TScopedEnv DeviceLog{L"APPFRAME_FRX_LOG", Folder.Path() + L"frx.jsonl"};
    TScopedEnv SiblingLog{L"APPFRAME_SIBLING_LOG", Folder.SiblingLogPath()};
};

} // namespace

TEST_F(ClientHandover, BrevApplicationIdInAnyCaseHandsOverAndEndsTheClient) {
    TBrevInstall brev(Folder.Path() + L"Sibling\\", L"BREV.exe");
    Environment(R"("AppID":"gd_Qelt_DWIN")");
    auto client = Folder.Start();
    ASSERT_TRUE(client);
    EXPECT_EQ(client->WaitForExit(), kForcedExit);
    ASSERT_TRUE(WaitUntil([&] { return !Started().empty(); }));
    const JsonRef started = Started()[0];
    EXPECT_EQ(started->GetS("path"), Folder.PathUtf8() + "Sibling\\BREV.exe");
    EXPECT_EQ(started->GetO("args")->Length(), 0u);
    EXPECT_EQ(started->GetS("workingFolder"), Folder.PathUtf8() + "Sibling");
    EXPECT_EQ(started->GetI("showWindow"), SW_SHOWNORMAL);
    EXPECT_NE(Folder.DailyLog().find("启动BREV并退出奎朗:" + Folder.PathUtf8() + "Sibling\\BREV.exe"),
              std::string::npos);
    EXPECT_TRUE(DeviceCalls().empty()); // outside the QNB run mode the device is not asked
}

TEST_F(ClientHandover, QnbRunModeWithAnOldDeviceKeepsTheClientAndWatchesTheDevice) {
    TBrevInstall brev(Folder.Path() + L"Sibling\\", L"BREV.exe");
    Environment(R"("AppID":"GD_QELT_DWIN")");
    Device("V6.0.9");
    auto client = Folder.Start(L"runmode=qnb");
    ASSERT_TRUE(client);
    EXPECT_EQ(client->WaitForExit(), 0u);
    EXPECT_TRUE(Started().empty());
    const std::string log = Folder.DailyLog();
    EXPECT_NE(log.find("启动：GetFRXVersion= V6.0.9 判断是V6.1.003"), std::string::npos) << log;
    EXPECT_NE(log.find("启动：ChkQNBVer = 0"), std::string::npos) << log;
    std::vector<std::string> calls;
    for (const JsonRef& call : DeviceCalls())
        calls.push_back(call->GetS("call"));
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.front(), "FRXInsertUpdateEvent");
    EXPECT_EQ(DeviceCalls().front()->GetS("library"), Folder.PathUtf8() + "Ferrolux\\FRXAppSafeguard.dll");
}

TEST_F(ClientHandover, AssistantStartsWithTheClientsArgumentsAndTheClientLeavesAfterReleasingItsInstance) {
    const std::string repoFolder = SharedEnvFolder();
    ASSERT_TRUE(CopyTestFile(TestProgramFolder() + L"ZRAppRepo.dll", Widen(repoFolder) + L"ZRAppRepo.dll"));
    Folder.Write(L"Repo.ini",
                 "[09730100010000]\r\nVersion=V2.1.1\r\nParams=Main=Assistant.exe;Exccmd=-x\r\nPath=" +
                     Folder.PathUtf8() + "Assist\r\n");
    TScopedEnv repoData(L"APPFRAME_ZRAPPREPO_DATA", Folder.Path() + L"Repo.ini");
    TScopedEnv repoLog(L"APPFRAME_ZRAPPREPO_LOG", Folder.Path() + L"repo.jsonl");
    Environment(R"("AppID":")" + Folder.AppId() + R"(","areaCode":"130100","appID":"hb_qelt_dwin")");
    Device("V6.1.3");

    auto client = Folder.Start(L"a runmode=qnb");
    ASSERT_TRUE(client);
    ASSERT_TRUE(WaitUntil([&] { return !Started().empty(); }));
    const JsonRef started = Started()[0];
    EXPECT_EQ(started->GetS("path"), Folder.PathUtf8() + "Assist\\Assistant.exe");
    const std::string commandLine = started->GetS("commandLine");
    const std::string args = "-x LaunchedByQNB  a runmode=qnb";
    ASSERT_GE(commandLine.size(), args.size());
    EXPECT_EQ(commandLine.substr(commandLine.size() - args.size()), args) << commandLine;
    EXPECT_EQ(started->GetS("workingFolder"), Folder.PathUtf8() + "Assist");
    EXPECT_EQ(started->GetI("showWindow"), SW_SHOWNORMAL);

    // While the first waits for the assistant, a second instance starts and runs normally.
    ASSERT_TRUE(client->Running());
    auto second = Folder.Start();
    ASSERT_TRUE(second);
    EXPECT_EQ(second->WaitForExit(), 0u);
    EXPECT_TRUE(client->Running());
    EXPECT_EQ(client->WaitForExit(), kForcedExit);
    const std::string log = Folder.DailyLog();
    for (const char* line : {"助手启动：isCanRunBREV 返回true", "助手启动：FNsrsbh = 91130100MA0001",
                             "助手启动：shIsCanRun：-1", "助手启动：执行 "})
        EXPECT_NE(log.find(line), std::string::npos) << line << "\n" << log;
}
