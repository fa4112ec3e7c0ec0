// The "app" service through the dispatch, with a fake account library object behind it.
#include "actions/ActionRegistry.h"
#include "foundation/Abi.h"
#include "foundation/Json.h"
#include "foundation/TextCodec.h"
#include "host/HostServices.h"
#include "services/Account.h"
#include "services/AccountLibrary.h"
#include "services/ServiceHost.h"
#include "support/FakeAppContext.h"
#include "support/Mutations.h"
#include "support/ServiceFakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace {

// ---- A fake account library ------------------------------------------------------------------------

std::atomic<int> gLiveObjects{0};

std::string Text(const char16_t* text) {
    return text ? Utf16ToUtf8(text) : std::string();
}

// Reference counting as the library's objects have it; every object counts towards gLiveObjects.
template <class TIntf>
class TCounted : public TIntf {
public:
    TCounted() { ++gLiveObjects; }
    virtual ~TCounted() { --gLiveObjects; }
    TFwHResult APPFRAME_STDCALL QueryInterface(const TFwGuid&, void** object) override {
        *object = nullptr;
        return kFwENoInterface;
    }
    uint32_t APPFRAME_STDCALL AddRef() override { return ++FRefs; }
    uint32_t APPFRAME_STDCALL Release() override {
        const uint32_t left = --FRefs;
        if (left == 0) delete this;
        return left;
    }

private:
    std::atomic<uint32_t> FRefs{1};
};

struct TAccountData {
    std::string LoginName, Password, AccountId, Token, Info;
};

class TFakeUser final : public TCounted<IZRAUser> {
public:
    explicit TFakeUser(TAccountData data) : FData(std::move(data)) {}
    void APPFRAME_STDCALL GetUserInfo(char16_t** r) override { PasWideAssign(r, Utf8ToUtf16(FData.Info)); }
    void APPFRAME_STDCALL GetToken(char16_t** r) override { PasWideAssign(r, Utf8ToUtf16(FData.Token)); }
    void APPFRAME_STDCALL GetAccountId(char16_t** r) override {
        PasWideAssign(r, Utf8ToUtf16(FData.AccountId));
    }
    void APPFRAME_STDCALL Refresh() override { FData.Info = R"({"refreshed":true})"; }

private:
    TAccountData FData;
};

class TFakeError final : public TCounted<IZRAError> {
public:
    explicit TFakeError(std::string text) : FText(std::move(text)) {}
    void APPFRAME_STDCALL GetErrorText(char16_t** r) override { PasWideAssign(r, Utf8ToUtf16(FText)); }

private:
    std::string FText;
};

class TFakeManager final : public TCounted<IZRALoginManager> {
public:
    ~TFakeManager() override { SetCurrentUser(nullptr); }
    // Like the library, answers in AL only: the rest of the register is garbage.
    TPasBool APPFRAME_STDCALL IsLoggedIn() override {
        return static_cast<TPasBool>(0xABCDEF00u | ((FUser || LoggedInWithoutUser) ? 1u : 0u));
    }
    void APPFRAME_STDCALL GetCurrentUser(IZRAUser** r) override { StoreInterface<IZRAUser>(r, FUser); }
    void APPFRAME_STDCALL SetAppID(const char16_t* appId) override { AppIds.push_back(Text(appId)); }
    void APPFRAME_STDCALL SetCurrentUser(IZRAUser* user) override {
        if (user) user->AddRef();
        if (FUser) FUser->Release();
        FUser = user;
    }

    std::vector<std::string> AppIds;
    bool LoggedInWithoutUser = false; // a library that says "logged in" but has no user object

private:
    IZRAUser* FUser = nullptr;
};

class TFakeAccount final : public TCounted<IZRAccount> {
public:
    TFakeAccount() { FManager = new TFakeManager(); }
    ~TFakeAccount() override { FManager->Release(); }
    void APPFRAME_STDCALL GetLoginManager(IZRALoginManager** r) override {
        StoreInterface<IZRALoginManager>(r, FManager);
    }
    void APPFRAME_STDCALL InitApp(const char16_t* appId, const char16_t* key, const char16_t* root) override {
        InitApps.push_back({Text(appId), Text(key), Text(root)});
    }
    void APPFRAME_STDCALL Login(const char16_t* name, const char16_t* password, IZRAError** error,
                                IZRAUser** user) override {
        ++Logins;
        for (const TAccountData& a : Accounts)
            if (a.LoginName == Text(name) && a.Password == Text(password)) {
                StoreOwned(user, TFwRef<IZRAUser>(new TFakeUser(a)));
                return;
            }
        if (!SilentRefusal) StoreOwned(error, TFwRef<IZRAError>(new TFakeError("密码错误")));
    }
    // Takes {"loginInfo":{"accountId":...}} of a known account.
    void APPFRAME_STDCALL CreateLoginUser(const char16_t* loginInfo, IZRAUser** user) override {
        LoginInfos.push_back(Text(loginInfo));
        const JsonRef doc = ParseJson(Text(loginInfo));
        const JsonRef info = doc ? doc->GetO("loginInfo") : nullptr;
        if (!info) return;
        for (const TAccountData& a : Accounts)
            if (a.AccountId == info->GetS("accountId")) StoreOwned(user, TFwRef<IZRAUser>(new TFakeUser(a)));
    }

    TFakeManager& Manager() { return *FManager; }

    std::vector<TAccountData> Accounts;
    std::vector<std::vector<std::string>> InitApps;
    std::vector<std::string> LoginInfos;
    int Logins = 0;
    bool SilentRefusal = false; // refuses without an error object

private:
    TFakeManager* FManager;
};

// ---- The host around the service -------------------------------------------------------------------

struct TNotice {
    std::string Label;
    TNotifyType Type;
    TVarArgs Args;
};

class TRecordingHost final : public IServiceHost {
public:
    std::string AppID() override { return "HOST-APP-7"; }
    std::string ProgramFolder() override { return "C:\\Program\\Client\\"; }
    bool TakeHelpRequest() override { return std::exchange(Help, false); }
    std::string CallAction(const std::string& sAction, const TVarArgs& Args) override {
        std::string call = sAction + "(";
        for (const TVarRec& a : Args)
            call += a.VText;
        Calls.push_back(call + ")");
        return {};
    }
    bool AppendNotifyTask(const std::string& label, TNotifyType type, const TVarArgs& args) override {
        Notices.push_back({label, type, args});
        return true;
    }
    std::string TaxCalendarURL() override { return "https://tax.example/calendar"; }

    bool Help = false;
    std::vector<std::string> Calls;
    std::vector<TNotice> Notices;
};

const TAccountData kZhang{"zhang", "pw1", "ACC-1", "TOKEN-1", R"({"name":"张三","accountId":"ACC-1"})"};
const TAccountData kLi{"li", "pw2", "ACC-2", "TOKEN-2", R"({"name":"李四","accountId":"ACC-2"})"};

std::string HandOver(const std::string& accountId) {
    return R"({"token":"t","loginInfo":{"accountId":")" + accountId + R"("}})";
}

class AccountService : public ::testing::Test {
protected:
    void SetUp() override {
        FAccount = new TFakeAccount();
        FAccount->Accounts = {kZhang, kLi};
        SetZRAccountForTests(FAccount);
        SetServiceHost(&FHost);
        SetHostFramework(&FFramework);
        FRegistry.InitAllModules({&AccountServiceClass()});
        FRegistry.SetTaskRunner(&FRunner);
    }
    void TearDown() override {
        SetHostFramework(nullptr);
        SetServiceHost(nullptr);
        SetZRAccountForTests(nullptr);
        FAccount->Release();
        // Every object the library handed out was given back.
        EXPECT_EQ(gLiveObjects.load(), 0);
    }

    // A page call without a callback: the answer, or "<error>" when there is nothing to answer.
    std::string Call(const std::string& action, const std::vector<std::string>& utf8Params = {},
                     int32_t callerNo = 0) {
        TFwRef<IAppContext> raw(TFakeAppContext::Create(callerNo, 7));
        for (const std::string& p : utf8Params)
            raw->GetParams()->AddStrParam(jptText, Utf8ToAnsi(p).c_str());
        TCallerContextPtr ctx = TCallerContext::Create(raw.Get());
        const TCurrentCallerType r = FRegistry.CallActionFun(action, ctx);
        if (r == CLAsync) return "<async>";
        return r == CLSync ? ctx->FRetValue.Get() : "<error>";
    }
    bool Logged(const std::string& line) const {
        return std::find(FFramework.Log.begin(), FFramework.Log.end(), line) != FFramework.Log.end();
    }

    TFakeAccount* FAccount = nullptr;
    TRecordingHost FHost;
    TFakeControlParams FFramework;
    TNoPort FPort;
    TNoFiles FFiles;
    TKeepTasks FRunner;
    TActionRegistry FRegistry{FPort, FFiles};
};

constexpr char kNotSignedIn[] = R"({"Logined":false,"Msg":"当前尚未登录！"})";

TEST_F(AccountService, SignInAndOutByNameAndPasswordTellTheMessageCentreEachTime) {
    FFramework.Values["DyncConfig/DyncParams/ProductCode"] = "P001";
    FFramework.Values["DyncConfig/DyncParams/Host"] = "https://api.example";
    FFramework.Values["DyncConfig/DyncParams/ProductKey"] = HostEncryptString("密钥");

    // The first call makes the instance, which introduces the application to the library.
    EXPECT_EQ(Call("app.login"), R"({"Logined":false,"Msg":"需要用户名及密码!"})");
    EXPECT_EQ(FAccount->Manager().AppIds, std::vector<std::string>{"HOST-APP-7"});
    EXPECT_EQ(FAccount->InitApps, (std::vector<std::vector<std::string>>{
                                      {"P001", "密钥", "https://api.example/qelt-basic-web"}}));
    EXPECT_TRUE(Logged("设置AppID=HOST-APP-7"));

    EXPECT_EQ(Call("app.login", {R"({"loginName":"zhang","password":""})"}),
              R"({"Logined":false,"Msg":"用户名及密码不能为空!"})");
    EXPECT_EQ(Call("app.login", {"not json"}), R"({"Logined":false,"Msg":"用户名及密码不能为空!"})");
    EXPECT_EQ(FAccount->Logins, 0);

    // Refused: the library's reason, and nobody to tell.
    EXPECT_EQ(Call("app.login", {R"({"loginName":"zhang","password":"wrong"})"}),
              R"({"Logined":false,"Msg":"登录失败：密码错误"})");
    FAccount->SilentRefusal = true;
    EXPECT_EQ(Call("app.login", {R"({"loginName":"zhang","password":"wrong"})"}),
              R"({"Logined":false,"Msg":"登录失败："})");
    EXPECT_TRUE(FHost.Calls.empty());
    EXPECT_EQ(Call("app.userinfor"), kNotSignedIn);
    EXPECT_EQ(Call("app.GetUserToken"), "");

    const std::string accepted = R"({"Logined":true,"Msg":"登录成功"})";
    EXPECT_EQ(Call("app.login", {R"({"loginName":"zhang","password":"pw1"})"}), accepted);
    EXPECT_EQ(FHost.Calls, std::vector<std::string>{"msg.SetCurUserToken(TOKEN-1)"});
    EXPECT_EQ(Call("app.userinfor"), kZhang.Info);
    EXPECT_EQ(Call("app.GetUserToken"), "TOKEN-1");
    EXPECT_EQ(Call("app.RefreshUser"), R"({"refreshed":true})");
    for (const char* line : {"login FunCount=1", "正在登录zhang", "login sUser=zhang 成功"})
        EXPECT_TRUE(Logged(line)) << line;
    EXPECT_TRUE(Logged(std::string("login Result=") + accepted));
    EXPECT_TRUE(Logged("userinfor Result=" + kZhang.Info));

    EXPECT_EQ(Call("app.logout"), R"({"Logined":false,"Msg":"注销成功"})");
    EXPECT_EQ(FHost.Calls.back(), "msg.SetCurUserToken()");
    EXPECT_EQ(Call("app.userinfor"), kNotSignedIn);
    EXPECT_EQ(Call("app.RefreshUser"), "");

    // Called by a waiting page, the log-in runs in the background.
    EXPECT_EQ(Call("app.login", {"{}"}, 5), "<async>");
    EXPECT_EQ(FRunner.Methods, std::vector<std::string>{"login"});
}

TEST_F(AccountService, AHandedOverUserReplacesOnlyNobodyOrTheSameAccount) {
    EXPECT_EQ(Call("app.UpdateLoginUser"), "false");
    EXPECT_EQ(Call("app.UpdateLoginUser", {"not json"}), "false");
    EXPECT_EQ(Call("app.UpdateLoginUser", {R"({"token":"t","loginInfo":"ACC-1"})"}), "false");
    EXPECT_TRUE(Logged("UpdateLoginUser参数不正确"));
    EXPECT_TRUE(FAccount->LoginInfos.empty());

    // Nobody signed in: taken, the message centre told, the page notified with the user's information.
    EXPECT_EQ(Call("app.UpdateLoginUser", {"  " + HandOver("ACC-1") + "\r\n"}), "true");
    EXPECT_EQ(FAccount->LoginInfos, std::vector<std::string>{HandOver("ACC-1")});
    EXPECT_EQ(FHost.Calls, std::vector<std::string>{"msg.SetCurUserToken(TOKEN-1)"});
    ASSERT_EQ(FHost.Notices.size(), 1u);
    EXPECT_EQ(FHost.Notices[0].Label, "通知账户更新");
    EXPECT_EQ(FHost.Notices[0].Type, NTUser);
    ASSERT_EQ(FHost.Notices[0].Args.size(), 1u);
    EXPECT_EQ(FHost.Notices[0].Args[0].VType, TVarKind::vtAnsiString);
    EXPECT_EQ(FHost.Notices[0].Args[0].VText, kZhang.Info);
    EXPECT_TRUE(Logged("UpdateLoginUser成功"));

    // The same account again: taken.
    EXPECT_EQ(Call("app.UpdateLoginUser", {HandOver("ACC-1")}), "true");
    EXPECT_EQ(FHost.Notices.size(), 2u);

    // Another account: refused, and the signed-in user stays.
    EXPECT_EQ(Call("app.UpdateLoginUser", {HandOver("ACC-2")}), "false");
    EXPECT_TRUE(Logged("UpdateLoginUser当前用户更新被忽略(AccountID不相同)"));
    EXPECT_EQ(Call("app.GetUserToken"), "TOKEN-1");
    EXPECT_EQ(FHost.Notices.size(), 2u);
    EXPECT_EQ(FAccount->LoginInfos.size(), 2u);

    // After a log-out the other account is welcome; one the library does not know is not.
    Call("app.logout");
    EXPECT_EQ(Call("app.UpdateLoginUser", {HandOver("ACC-9")}), "false");
    EXPECT_TRUE(Logged("UpdateLoginUser失败"));
    EXPECT_EQ(Call("app.UpdateLoginUser", {HandOver("ACC-2")}), "true");
    EXPECT_EQ(Call("app.GetUserToken"), "TOKEN-2");

    // The page's own hand-over answers with the log-in state, without the account check.
    EXPECT_EQ(Call("app.SetLoginUser"), R"({"Logined":false,"Msg":"参数错误!"})");
    EXPECT_EQ(Call("app.SetLoginUser", {HandOver("ACC-9")}), R"({"Logined":true,"Msg":"登录失败"})");
    EXPECT_EQ(Call("app.SetLoginUser", {HandOver("ACC-1")}), R"({"Logined":true,"Msg":"登录成功"})");
    EXPECT_EQ(Call("app.GetUserToken"), "TOKEN-1");
}

TEST_F(AccountService, ALibraryThatSaysLoggedInWithoutAUserIsTreatedAsNobody) {
    FAccount->Manager().LoggedInWithoutUser = true;
    EXPECT_EQ(Call("app.RefreshUser"), "");
    EXPECT_EQ(Call("app.userinfor"), kNotSignedIn);
    EXPECT_EQ(Call("app.UpdateLoginUser", {HandOver("ACC-2")}), "true");
}

TEST_F(AccountService, TheHelpRequestIsReportedOnce) {
    FHost.Help = true;
    EXPECT_EQ(Call("app.isNeedHelp"), "true");
    EXPECT_EQ(Call("app.isNeedHelp"), "");
}

TEST_F(AccountService, IdentityComesFromTheConfigurationWithItsDefaults) {
    EXPECT_EQ(Call("app.areaCode"), "0000");
    EXPECT_EQ(Call("app.appinfor"),
              R"({"appId":"","appver":"1.0","appmac":"","webroot":"C:\\Program\\Client\\"})");
    FFramework.Values["StaticConfig/EnviParams/areaCode"] = "4403";
    FFramework.Values["DyncConfig/DyncParams/ProductCode"] = "P001";
    FFramework.Values["AppFrame/System/ver"] = "3.2";
    FFramework.Values["AppFrame/Net/Mac"] = "00-11";
    FFramework.Values["AppFrame/System/Root"] = "D:\\web\\";
    EXPECT_EQ(Call("app.areaCode"), "44030000");
    EXPECT_EQ(Call("app.appinfor"),
              R"({"appId":"P001","appver":"3.2","appmac":"00-11","webroot":"D:\\web\\"})");
}

TEST_F(AccountService, TheHeaderSignsIdKeyAndTime) {
    EXPECT_EQ(AccountHeaderText("P001", "密钥", 1700000000000),
              R"({"appId":"P001","appkey":"D9D8FD39AF0CB1F5542E3172BEA539836E4F759D",)"
              R"("timestamp":"1700000000000"})");

    FFramework.Values["DyncConfig/DyncParams/ProductCode"] = "P001";
    FFramework.Values["DyncConfig/DyncParams/ProductKey"] = HostEncryptString("密钥");
    const JsonRef header = ParseJson(Call("app.header"));
    ASSERT_TRUE(header);
    const std::string timestamp = header->GetS("timestamp");
    ASSERT_FALSE(timestamp.empty());
    EXPECT_EQ(PrintJson(header), AccountHeaderText("P001", "密钥", std::stoll(timestamp)));
}

TEST(AccountServiceAlone, WithoutTheAccountLibraryInitialisationAnswersFalse) {
    TAccountSvr service;
    EXPECT_FALSE(service.InitEnvironment(nullptr));
}

} // namespace

// Hand-over and sign-in texts come from other programs and pages: mutated ones are answered in
// the action's own form, never by a failure that leaves the caller without an answer.
TEST_F(AccountService, MangledSignInTextsAreAnsweredInTheirOwnForm) {
    const std::vector<std::string> seeds = {HandOver("ACC-1"), HandOver("ACC-2"),
                                            R"({"loginName":"zhang","password":"pw1"})"};
    std::mt19937 rng(2024);
    for (int i = 0; i < 3000; ++i) {
        const std::string text = MutatedText(seeds, rng);
        const std::string update = Call("app.UpdateLoginUser", {text});
        ASSERT_TRUE(update == "true" || update == "false") << text;
        for (const char* action : {"app.SetLoginUser", "app.login"}) {
            const JsonRef answer = ParseJson(Call(action, {text}));
            ASSERT_TRUE(answer && answer->GetO("Logined")) << action << " " << text;
        }
        if (i % 100 == 0) Call("app.logout");
    }
}
