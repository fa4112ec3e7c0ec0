#include "services/MessageCenter.h"

#include "foundation/Json.h"
#include "foundation/TextCodec.h"
#include "foundation/TextFormat.h"
#include "host/HostConfig.h"
#include "host/HostFramework.h"
#include "host/HostServices.h"
#include "services/ServiceHost.h"
#include "webbridge/ParamPackers.h"

#include <cstdio>
#include <ctime>

namespace {

constexpr int32_t kConfigInterval = 30;
constexpr int32_t kConfigTimeout = 60;

// The main log; a line it cannot take is lost rather than failing the action.
void WriteMainLog(std::string_view line) {
    try {
        HostFramework().WriteLog(line);
    } catch (...) {
    }
}

void WriteMainLog(std::string_view format, const TVarArgs& args) {
    try {
        HostFramework().WriteLog(FormatText(format, args));
    } catch (...) {
    }
}

TVarRec Text(std::string_view utf8) {
    return TVarRec::Text(utf8);
}

// Length of a text in characters as the page and the library count them (UTF-16 units).
int32_t TextLength(std::string_view utf8) {
    return static_cast<int32_t>(Utf8ToUtf16(utf8).size());
}

std::string FirstChars(std::string_view utf8, size_t count) {
    const std::u16string wide = Utf8ToUtf16(utf8);
    return Utf16ToUtf8(std::u16string_view(wide).substr(0, count));
}

int32_t ParamInt(TCallerContext* aContext, int32_t index) {
    return CallForeign(&IJsCallerInf::ParamInt, ContextParams(*aContext->AppContext()).Get(), index, 0);
}

int32_t ParamCount(TCallerContext* aContext) {
    return aContext ? aContext->ParamCount() : 0;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Message filter

bool KeepMessage(const TMessageMember& member, std::string_view localNow) {
    const std::string bizType = member("bizType");
    if (SameTextAscii(bizType, "000000_ZYTZ")) return !SameTextAscii(member("isDiscard"), "true");
    if (SameTextAscii(bizType, "xctp")) {
        if (SameTextAscii(member("isDiscard"), "true")) return false;
        const std::string expireTime = member("expireTime");
        return expireTime.empty() || std::string_view(expireTime) >= localNow;
    }
    return !SameTextAscii(bizType, "xms.cancel");
}

std::string LocalTimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char text[80];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1,
                  local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

TMessageFilter MessageFilter() {
    return [now = LocalTimeText()](const TMessageMember& member) { return KeepMessage(member, now); };
}

// ---------------------------------------------------------------------------------------------
// Setters

TMessageCenter::TMessageCenter() : FpreUserToken("null"), FPreCMPList("null") {}

bool TMessageCenter::InitEnvironment(TCallerContext*) {
    return true;
}

std::string TMessageCenter::SetCurUserToken(TCallerContext* aContext) {
    if (ParamCount(aContext) == 0) return "false";
    const std::string token = aContext->ParamStr(0);
    std::lock_guard<std::mutex> lock(FLock);
    if (FCurUserToken != token) FCurUserToken = token;
    return "true";
}

std::string TMessageCenter::SetMsgEnterprise(TCallerContext* aContext) {
    if (ParamCount(aContext) == 0) return "false";
    const std::string companies = aContext->ParamStr(0);
    std::lock_guard<std::mutex> lock(FLock);
    if (FCurCMPList != companies) FCurCMPList = companies;
    return "true";
}

std::string TMessageCenter::SetMsgConifg(TCallerContext* aContext) {
    if (ParamCount(aContext) == 0) return "false";
    const std::string areaCode = aContext->ParamStr(0);
    std::lock_guard<std::mutex> lock(FLock);
    FAreaCode = areaCode;
    return "true";
}

// ---------------------------------------------------------------------------------------------
// Configuration

bool TMessageCenter::WaitForConfigurationLocked(std::unique_lock<std::mutex>& lock) {
    if (FConfiguring && FConfigThread == std::this_thread::get_id()) return false;
    FConfigDone.wait(lock, [this] { return !FConfiguring; });
    return true;
}

void TMessageCenter::CheckReinit() {
    {
        std::unique_lock<std::mutex> lock(FLock);
        if (!WaitForConfigurationLocked(lock)) return;
        if (FCurUserToken == FpreUserToken && FPreCMPList == FCurCMPList && FAreaCode == FpreAreaCode) return;
        FpreUserToken = FCurUserToken;
        FPreCMPList = FCurCMPList;
        FMsgTypes.clear();
        FConfiguring = true;
        FConfigThread = std::this_thread::get_id();
    }
    WriteMainLog("当前需要重新初始化MSG");
    WriteMainLog(InitMessageClient() ? "初始化MessageCenter成功!" : "初始化MessageCenter异常：");
}

bool TMessageCenter::EnsureConfigured() {
    {
        std::unique_lock<std::mutex> lock(FLock);
        if (!WaitForConfigurationLocked(lock)) return FisIniOK;
        if (FisIniOK && FAreaCode == FpreAreaCode) return true;
        FConfiguring = true;
        FConfigThread = std::this_thread::get_id();
    }
    return InitMessageClient();
}

bool TMessageCenter::InitMessageClient() {
    bool ok = false;
    try {
        std::string token;
        std::string accountType = "2";
        std::string accountName;
        const JsonRef userInfo = ParseJson(ServiceHost().CallAction("app.userinfor", {}));
        if (userInfo) token = userInfo->GetS("token");

        // The area code: the one set by the page, else the configured one; read without the lock.
        std::string areaCode;
        std::string companies;
        std::string configuredArea;
        bool haveConfiguredArea = false;
        for (;;) {
            {
                std::lock_guard<std::mutex> lock(FLock);
                if (!FAreaCode.empty()) {
                    FpreAreaCode = FAreaCode;
                } else if (haveConfiguredArea) {
                    FAreaCode = configuredArea;
                }
                if (!FAreaCode.empty()) {
                    areaCode = FAreaCode;
                    companies = FCurCMPList;
                    break;
                }
            }
            // Six characters: a configured city code ("4401") is padded with zeros ("440100").
            configuredArea = FirstChars(
                HostFramework().GetControlParams("StaticConfig", "EnviParams", "areaCode", "") + "0000", 6);
            haveConfiguredArea = true;
        }

        if (!token.empty()) {
            accountType = "1";
            const JsonRef loginInfo = userInfo->GetO("loginInfo");
            if (loginInfo && loginInfo->GetO("accountId")) {
                accountName = loginInfo->GetS("accountId");
                WriteMainLog("AccountName=%s", {Text(accountName)});
            }
        }
        const std::string mac = ServiceHost().CallAction("app.appmac", {});
        const std::string msgAppId = ServiceHost().CallAction("app.MsgAppId", {});
        const std::string appSecret =
            ReadEncryptedParam(HostFramework(), "DyncConfig", "MsgCenter", "ProductKey");

        WriteMainLog(
            "msg SetConfig begin sToken = %s areaCode = %s AccountType=%s sMac=%s AccountName=%s "
            "CMPList=%s",
            {Text(token), Text(areaCode), Text(accountType), Text(mac), Text(accountName), Text(companies)});
        std::string uniRegID;
        std::string funcParams;
        const int32_t code = ConsumerHelper().SetCofig(msgAppId, msgAppId, appSecret, accountType,
                                                       accountName, token, mac, companies, areaCode,
                                                       kConfigInterval, kConfigTimeout, uniRegID, funcParams);
        {
            std::lock_guard<std::mutex> lock(FLock);
            FUniRegID = uniRegID;
        }
        std::string errorCode;
        std::string errorMsg;
        ConsumerHelper().GetLastNetFetchError(uniRegID, errorCode, errorMsg);
        if (!errorMsg.empty()) WriteMainLog("ErrorCode= %s ErrorMsg=%s", {Text(errorCode), Text(errorMsg)});
        WriteMainLog("msg SetCofig END FUniRegID = %s  AccountType=%s ", {Text(uniRegID), Text(accountType)});
        ok = code == 0;
    } catch (...) {
        ok = false;
    }
    {
        std::lock_guard<std::mutex> lock(FLock);
        FisIniOK = ok;
        FConfiguring = false;
        FConfigThread = std::thread::id();
    }
    FConfigDone.notify_all();
    return ok;
}

std::string TMessageCenter::UniRegID() {
    std::lock_guard<std::mutex> lock(FLock);
    return FUniRegID;
}

bool TMessageCenter::AddMsgType(const std::string& types) {
    const std::string wrapped = "," + types + ",";
    std::lock_guard<std::mutex> lock(FLock);
    if (FMsgTypes.find(wrapped) != std::string::npos) return false;
    FMsgTypes += wrapped;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Fetches and receipts

std::string TMessageCenter::FetchMessages(const std::string& types, int32_t count, int64_t& offset,
                                          int64_t& endOffset, TFetchMode mode) {
    if (!EnsureConfigured()) return {};
    const std::string uniRegID = UniRegID();
    std::string messages;
    std::string funcParams;
    if (mode == fmOffset) {
        ConsumerHelper().FetchOffsetEx(uniRegID, types, count, offset, endOffset, messages, funcParams,
                                       MessageFilter());
        return messages;
    }
    int64_t beginOffset = offset;
    int64_t lastOffset = endOffset;
    ConsumerHelper().FetchEx(uniRegID, types, count, messages, beginOffset, lastOffset, funcParams,
                             MessageFilter());
    offset = beginOffset;
    endOffset = lastOffset;
    WriteMainLog("异步拉数据!len=%d", {TVarRec::Integer(TextLength(messages))});
    if (TextLength(messages) > 9 && !AddMsgType(types)) return messages;
    if (ServiceHost().AppendNotifyTask("后台拉消息", NTMsg,
                                       {Text(types), TVarRec::Integer(count), TVarRec::Int64(offset)})) {
        WriteMainLog("已通知后台拉取%s", {Text(types)});
    } else {
        WriteMainLog("通知后台拉取%s失败!", {Text(types)});
    }
    return messages;
}

std::string TMessageCenter::GetMessages(TCallerContext* aContext, TFetchMode mode) {
    CheckReinit();
    std::string types;
    int32_t count = 0;
    int64_t offset = 0;
    int64_t endOffset = 0;
    const int32_t params = ParamCount(aContext);
    if (params > 2) {
        types = aContext->ParamStr(0);
        count = ParamInt(aContext, 1);
        offset = ParamInt(aContext, 2);
        if (params > 3) endOffset = ParamInt(aContext, 3);
    }
    if (types == "InnerGetMsg") {
        WriteMainLog("InnerGetMsg ");
        return {};
    }
    std::string messages = FetchMessages(types, count, offset, endOffset, mode);
    std::string errorCode;
    std::string errorMsg;
    ConsumerHelper().GetLastNetFetchError(UniRegID(), errorCode, errorMsg);
    if (messages == "[]" && !errorMsg.empty())
        messages = FormatText("ErrorCode= %s ErrorMsg=%s", {Text(errorCode), Text(errorMsg)});
    return PackFunParamsText({Text(messages), TVarRec::Int64(offset), TVarRec::Int64(endOffset)});
}

std::string TMessageCenter::GetMessage(TCallerContext* aContext) {
    return GetMessages(aContext, fmBegin);
}

std::string TMessageCenter::GetMessageOffset(TCallerContext* aContext) {
    return GetMessages(aContext, fmOffset);
}

std::string TMessageCenter::SynFetchMsg(TCallerContext* aContext) {
    CheckReinit();
    if (ParamCount(aContext) <= 2) return {};
    const std::string types = aContext->ParamStr(0);
    const int32_t count = ParamInt(aContext, 1);
    int64_t beginOffset = ParamInt(aContext, 2);
    int64_t endOffset = 0;
    WriteMainLog("同步去消息中心拉数据!");
    const std::string uniRegID = UniRegID();
    std::string funcParams;
    ConsumerHelper().HttpRequestFetch(uniRegID, funcParams);
    std::string messages;
    ConsumerHelper().FetchEx(uniRegID, types, count, messages, beginOffset, endOffset, funcParams,
                             MessageFilter());
    WriteMainLog("同步拉数据!len=%d", {TVarRec::Integer(TextLength(messages))});
    return messages;
}

std::string TMessageCenter::SendMsgReceipt(TCallerContext* aContext) {
    CheckReinit();
    int32_t result = 0;
    if (ParamCount(aContext) >= 2) {
        const int32_t msgId = ParamInt(aContext, 0);
        const int32_t receipt = ParamInt(aContext, 1);
        EnsureConfigured();
        std::string funcParams;
        result = ConsumerHelper().SendMsgReceipt(UniRegID(), msgId, receipt, funcParams);
    }
    return PackFunParamsText({TVarRec::Integer(result)});
}

const TServiceClass& MessageCenterServiceClass() {
    static const TServiceClass cls = MakeServiceClass<TMessageCenter>(
        "TMessageCenter", "msg",
        {
            {"InitEnvironment", &TMessageCenter::InitEnvironment, {"", actALL}},
            {"SetCurUserToken", &TMessageCenter::SetCurUserToken, {"", actALL}},
            {"SetMsgEnterprise", &TMessageCenter::SetMsgEnterprise, {"", actALL}},
            {"SetMsgConifg", &TMessageCenter::SetMsgConifg, {"", actALL}},
            {"GetMessage", &TMessageCenter::GetMessage, {"", actASync}},
            {"GetMessageOffset", &TMessageCenter::GetMessageOffset, {"", actASync}},
            {"SynFetchMsg", &TMessageCenter::SynFetchMsg, {"", actALL}},
            {"SendMsgReceipt", &TMessageCenter::SendMsgReceipt, {"", actASync}},
        });
    return cls;
}
