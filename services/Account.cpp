#include "services/Account.h"

#include "actions/AsyncTasks.h"
#include "actions/DispatchPorts.h"
#include "actions/LibraryCall.h"
#include "foundation/Abi.h"
#include "foundation/AppLog.h"
#include "foundation/Crypto.h"
#include "foundation/ForeignCall.h"
#include "foundation/Json.h"
#include "foundation/RequestSign.h"
#include "foundation/TextCodec.h"
#include "host/HostFramework.h"
#include "host/HostServices.h"
#include "services/AccountLibrary.h"
#include "services/ServiceHost.h"

#include <exception>
#include <initializer_list>
#include <memory>
#include <stdexcept>
#include <string_view>

namespace {

constexpr char kWebPathSuffix[] = "/qelt-basic-web";
constexpr char kAreaCodeSuffix[] = "0000";
constexpr char kSetCurUserToken[] = "msg.SetCurUserToken";

// The main log; a line it cannot take is lost rather than failing the action.
void Log(std::string_view format, std::initializer_list<std::string_view> args = {}) {
    try {
        HostFramework().WriteLog(FormatLogLine(format, args));
    } catch (...) {
    }
}

bool HasParams(TCallerContext* aContext) {
    return aContext && aContext->ParamCount() > 0;
}

// The first parameter's ANSI bytes, the form the ciphers work on.
std::string ArgumentAnsi(TCallerContext* aContext) {
    return HasParams(aContext) ? aContext->ParamStrAnsi(0) : std::string();
}

std::string Config(std::string_view cfgType, std::string_view section, std::string_view key,
                   std::string_view defaultValue = {}) {
    return HostFramework().GetControlParams(cfgType, section, key, defaultValue);
}

std::string ProductKey() {
    return ReadEncryptedParam(HostFramework(), "DyncConfig", "DyncParams", "ProductKey");
}

std::string LoginAnswer(bool logined, std::string_view msg) {
    return JsonObjectText({"Logined", "Msg"}, {TVarRec::Boolean(logined), TVarRec::Text(msg)});
}

// Blanks and control characters cut from both ends.
std::string Trimmed(std::string_view text) {
    size_t first = 0;
    size_t last = text.size();
    while (first < last && static_cast<unsigned char>(text[first]) <= ' ')
        ++first;
    while (last > first && static_cast<unsigned char>(text[last - 1]) <= ' ')
        --last;
    return std::string(text.substr(first, last - first));
}

// ---- The account library's objects --------------------------------------------------------------

struct TWideFree {
    void operator()(char16_t* data) const { PasWideFree(data); }
};

// The wide-string result of one call (through the hidden argument), as UTF-8; the string is freed.
template <class TCall>
std::string WideResult(TCall&& call) {
    char16_t* raw = nullptr;
    CallForeign(call, &raw);
    const std::unique_ptr<char16_t, TWideFree> owned(raw);
    return Utf16ToUtf8(PasWideView(raw));
}

TFwRef<IZRAccount> Account() {
    TFwRef<IZRAccount> account = GetZRAccount();
    if (!account) throw std::runtime_error("the account library gave no account object");
    return account;
}

TFwRef<IZRALoginManager> LoginManager(IZRAccount& account) {
    IZRALoginManager* raw = nullptr;
    CallForeign(&IZRAccount::GetLoginManager, &account, &raw);
    TFwRef<IZRALoginManager> manager(raw);
    if (!manager) throw std::runtime_error("the account library gave no login manager");
    return manager;
}

TFwRef<IZRALoginManager> LoginManager() {
    return LoginManager(*Account());
}

bool IsLoggedIn(IZRALoginManager& manager) {
    return IsTrue(CallForeign(&IZRALoginManager::IsLoggedIn, &manager));
}

// Null when nobody is signed in.
TFwRef<IZRAUser> CurrentUser(IZRALoginManager& manager) {
    IZRAUser* raw = nullptr;
    CallForeign(&IZRALoginManager::GetCurrentUser, &manager, &raw);
    return TFwRef<IZRAUser>(raw);
}

std::string UserInfo(IZRAUser& user) {
    return WideResult([&](char16_t** r) { user.GetUserInfo(r); });
}
std::string UserToken(IZRAUser& user) {
    return WideResult([&](char16_t** r) { user.GetToken(r); });
}
std::string UserAccountId(IZRAUser& user) {
    return WideResult([&](char16_t** r) { user.GetAccountId(r); });
}

// Tells the message centre whose messages to fetch now.
void PassTokenOn(const std::string& token) {
    ServiceHost().CallAction(kSetCurUserToken, TVarArgs{TVarRec::Text(token)});
}

} // namespace

std::string AccountHeaderText(std::string_view appId, std::string_view productKey, int64_t timestamp) {
    const std::string stamp = std::to_string(timestamp);
    std::string digested(appId);
    digested.append(productKey).append(stamp);
    const JsonRef answer = NewJsonObject();
    answer->PutS("appId", appId);
    answer->PutS("appkey", Sha1HexUpper(Utf8ToAnsi(digested)));
    answer->PutS("timestamp", stamp);
    return PrintJson(answer);
}

bool TAccountSvr::InitEnvironment(TCallerContext*) {
    try {
        if (!IsZRAccountAvailable()) return false;
        const std::string appIdOfHost = ServiceHost().AppID();
        const std::u16string wideAppId = Utf8ToUtf16(appIdOfHost);
        CallForeign(&IZRALoginManager::SetAppID, LoginManager().Get(), wideAppId.c_str());
        Log("设置AppID=%s", {appIdOfHost});
        const std::u16string product = Utf8ToUtf16(appId(nullptr));
        const std::u16string key = Utf8ToUtf16(ProductKey());
        const std::u16string webRoot = Utf8ToUtf16(AppHost(nullptr) + kWebPathSuffix);
        CallForeign(&IZRAccount::InitApp, Account().Get(), product.c_str(), key.c_str(), webRoot.c_str());
        return true;
    } catch (const std::exception& e) {
        WriteAppLog(std::string("TAccountSvr.InitEnvironment 异常：") + e.what());
    } catch (...) {
        WriteAppLog("TAccountSvr.InitEnvironment 异常：");
    }
    return false;
}

// ---- Identity ------------------------------------------------------------------------------------

std::string TAccountSvr::appId(TCallerContext*) {
    return Config("DyncConfig", "DyncParams", "ProductCode");
}

std::string TAccountSvr::MsgAppId(TCallerContext*) {
    return Config("DyncConfig", "MsgCenter", "ProductCode");
}

std::string TAccountSvr::AppHost(TCallerContext*) {
    return Config("DyncConfig", "DyncParams", "Host");
}

std::string TAccountSvr::AppCenterID(TCallerContext*) {
    return Config("DyncConfig", "AppCenter", "ProductCode");
}

std::string TAccountSvr::appver(TCallerContext*) {
    return Config("AppFrame", "System", "ver", "1.0");
}

std::string TAccountSvr::appmac(TCallerContext*) {
    return Config("AppFrame", "Net", "Mac");
}

std::string TAccountSvr::areaCode(TCallerContext*) {
    return Config("StaticConfig", "EnviParams", "areaCode") + kAreaCodeSuffix;
}

std::string TAccountSvr::webroot(TCallerContext*) {
    return Config("AppFrame", "System", "Root", ServiceHost().ProgramFolder());
}

std::string TAccountSvr::appinfor(TCallerContext*) {
    const JsonRef answer = NewJsonObject();
    answer->PutS("appId", appId(nullptr));
    answer->PutS("appver", appver(nullptr));
    answer->PutS("appmac", appmac(nullptr));
    answer->PutS("webroot", webroot(nullptr));
    return PrintJson(answer);
}

// ---- Log-in ------------------------------------------------------------------------------------------

std::string TAccountSvr::login(TCallerContext* aContext) {
    const int32_t count = aContext ? aContext->ParamCount() : 0;
    Log("login FunCount=%d", {std::to_string(count)});
    if (count <= 0) return LoginAnswer(false, "需要用户名及密码!");

    // Text that is not a JSON object names nobody: it is answered like empty credentials.
    std::string loginName;
    std::string password;
    const JsonRef request = ParseJson(aContext->ParamStr(0));
    if (request && request->IsType(stObject)) {
        loginName = request->GetS("loginName");
        password = request->GetS("password");
    }
    if (loginName.empty() || password.empty()) return LoginAnswer(false, "用户名及密码不能为空!");

    Log("正在登录%s", {loginName});
    TFwRef<IZRAccount> account = Account();
    IZRAError* errorRaw = nullptr;
    IZRAUser* userRaw = nullptr;
    const std::u16string wideName = Utf8ToUtf16(loginName);
    const std::u16string widePassword = Utf8ToUtf16(password);
    CallForeign(&IZRAccount::Login, account.Get(), wideName.c_str(), widePassword.c_str(), &errorRaw,
                &userRaw);
    const TFwRef<IZRAError> error(errorRaw);
    const TFwRef<IZRAUser> user(userRaw);
    if (!user) {
        // A refusal without an error object still answers, with no reason.
        const std::string reason = error ? WideResult([&](char16_t** r) { error->GetErrorText(r); }) : "";
        return LoginAnswer(false, "登录失败：" + reason);
    }

    Log("login sUser=%s 成功", {loginName});
    // The login manager (and the account object behind it) is asked afresh for every use.
    CallForeign(&IZRALoginManager::SetCurrentUser, LoginManager().Get(), user.Get());
    const std::string answer = LoginAnswer(IsLoggedIn(*LoginManager()), "登录成功");
    Log("login Result=%s", {answer});
    PassTokenOn(GetUserToken(nullptr));
    return answer;
}

bool TAccountSvr::InnerSetLoginUser(const std::string& sLoginInfo) {
    Log("InnerSetLoginUser  in");
    const std::string loginInfo = Trimmed(sLoginInfo);
    TFwRef<IZRAccount> account = Account();
    IZRAUser* userRaw = nullptr;
    const std::u16string wideInfo = Utf8ToUtf16(loginInfo);
    CallForeign(&IZRAccount::CreateLoginUser, account.Get(), wideInfo.c_str(), &userRaw);
    const TFwRef<IZRAUser> user(userRaw);
    bool result = false;
    if (user) {
        CallForeign(&IZRALoginManager::SetCurrentUser, LoginManager().Get(), user.Get());
        result = IsLoggedIn(*LoginManager());
        Log("SetLoginUser Result=%d", {result ? "1" : "0"});
        Log("SetCurUserToken  in");
        PassTokenOn(GetUserToken(nullptr));
        Log("SetCurUserToken  out");
    }
    Log("InnerSetLoginUser  out");
    return result;
}

std::string TAccountSvr::SetLoginUser(TCallerContext* aContext) {
    Log("SetLoginUser  in");
    std::string answer;
    if (!HasParams(aContext)) {
        answer = LoginAnswer(false, "参数错误!");
    } else {
        const bool taken = InnerSetLoginUser(aContext->ParamStr(0));
        answer = LoginAnswer(IsLoggedIn(*LoginManager()), taken ? "登录成功" : "登录失败");
    }
    Log("SetLoginUser  Out");
    return answer;
}

std::string TAccountSvr::UpdateLoginUser(TCallerContext* aContext) {
    std::string answer = "false";
    if (!HasParams(aContext)) return answer;
    try {
        const std::string text = aContext->ParamStr(0);
        const JsonRef doc = ParseJson(text);
        const JsonRef loginInfo = doc && doc->IsType(stObject) ? doc->GetO("loginInfo") : nullptr;
        if (!loginInfo || !loginInfo->IsType(stObject)) {
            Log("UpdateLoginUser参数不正确");
            return answer;
        }
        // A signed-in user is only ever replaced by the same account.
        if (IsLoggedIn(*LoginManager())) {
            if (const TFwRef<IZRAUser> current = CurrentUser(*LoginManager())) {
                const std::string currentId = UserAccountId(*current);
                if (!currentId.empty() && currentId != loginInfo->GetS("accountId")) {
                    Log("UpdateLoginUser当前用户更新被忽略(AccountID不相同)");
                    return answer;
                }
            }
        }
        if (InnerSetLoginUser(text)) {
            Log("UpdateLoginUser成功");
            answer = "true";
            ServiceHost().AppendNotifyTask(
                "通知账户更新", NTUser, TVarArgs{TVarRec::Text(userinfor(nullptr), TVarKind::vtAnsiString)});
        } else {
            Log("UpdateLoginUser失败");
        }
    } catch (const std::exception& e) {
        Log("UpdateLoginUser异常%s", {e.what()});
    } catch (...) {
        Log("UpdateLoginUser异常%s", {""});
    }
    return answer;
}

std::string TAccountSvr::userinfor(TCallerContext*) {
    Log("userinfor in");
    TFwRef<IZRALoginManager> manager = LoginManager();
    const TFwRef<IZRAUser> user = CurrentUser(*manager);
    const std::string answer = user ? UserInfo(*user) : LoginAnswer(false, "当前尚未登录！");
    Log("userinfor Result=%s", {answer});
    return answer;
}

std::string TAccountSvr::GetUserToken(TCallerContext*) {
    TFwRef<IZRALoginManager> manager = LoginManager();
    const TFwRef<IZRAUser> user = CurrentUser(*manager);
    return user ? UserToken(*user) : std::string();
}

std::string TAccountSvr::RefreshUser(TCallerContext* aContext) {
    if (!IsLoggedIn(*LoginManager())) return {};
    const TFwRef<IZRAUser> user = CurrentUser(*LoginManager());
    if (!user) return {};
    CallForeign(&IZRAUser::Refresh, user.Get());
    return userinfor(aContext);
}

std::string TAccountSvr::logout(TCallerContext*) {
    CallForeign(&IZRALoginManager::SetCurrentUser, LoginManager().Get(), nullptr);
    const std::string answer = LoginAnswer(false, "注销成功");
    PassTokenOn("");
    return answer;
}

// ---- Requests and texts for pages ------------------------------------------------------------------

std::string TAccountSvr::header(TCallerContext*) {
    return AccountHeaderText(appId(nullptr), ProductKey(), CurrentLocalTimestampMs());
}

std::string TAccountSvr::TaxCalendarURL(TCallerContext*) {
    return ServiceHost().TaxCalendarURL();
}

std::string TAccountSvr::EncUrl(TCallerContext* aContext) {
    return EncUrlText(ArgumentAnsi(aContext));
}

std::string TAccountSvr::EncA(TCallerContext* aContext) {
    return AesEncryptHex(ArgumentAnsi(aContext), kEncACipherKey, kAesPkcs7);
}

std::string TAccountSvr::DllFun(TCallerContext* aContext) {
    return CallLibraryFunction(aContext);
}

std::string TAccountSvr::isNeedHelp(TCallerContext*) {
    return ServiceHost().TakeHelpRequest() ? "true" : "";
}

const TServiceClass& AccountServiceClass() {
    static const TServiceClass cls =
        MakeServiceClass<TAccountSvr>("TAccountSvr", "app",
                                      {
                                          {"InitEnvironment", &TAccountSvr::InitEnvironment, {"", actALL}},
                                          {"appId", &TAccountSvr::appId, {"", actALL}},
                                          {"MsgAppId", &TAccountSvr::MsgAppId, {"", actALL}},
                                          {"AppHost", &TAccountSvr::AppHost, {"", actALL}},
                                          {"AppCenterID", &TAccountSvr::AppCenterID, {"", actALL}},
                                          {"appver", &TAccountSvr::appver, {"", actALL}},
                                          {"areaCode", &TAccountSvr::areaCode, {"", actALL}},
                                          {"appmac", &TAccountSvr::appmac, {"", actALL}},
                                          {"webroot", &TAccountSvr::webroot, {"", actALL}},
                                          {"appinfor", &TAccountSvr::appinfor, {"", actALL}},
                                          {"login", &TAccountSvr::login, {"", actASync}},
                                          {"SetLoginUser", &TAccountSvr::SetLoginUser, {"", actASync}},
                                          {"UpdateLoginUser", &TAccountSvr::UpdateLoginUser, {"", actALL}},
                                          {"userinfor", &TAccountSvr::userinfor, {"", actALL}},
                                          {"header", &TAccountSvr::header, {"", actALL}},
                                          {"GetUserToken", &TAccountSvr::GetUserToken, {"", actALL}},
                                          {"logout", &TAccountSvr::logout, {"", actALL}},
                                          {"TaxCalendarURL", &TAccountSvr::TaxCalendarURL, {"", actALL}},
                                          {"RefreshUser", &TAccountSvr::RefreshUser, {"", actALL}},
                                          {"EncUrl", &TAccountSvr::EncUrl, {"", actALL}},
                                          {"EncA", &TAccountSvr::EncA, {"", actALL}},
                                          {"DllFun", &TAccountSvr::DllFun, {"", actASync}},
                                          {"isNeedHelp", &TAccountSvr::isNeedHelp, {"", actASync}},
                                      });
    return cls;
}
