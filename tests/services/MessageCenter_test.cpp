#include "foundation/Json.h"
#include "foundation/TextCodec.h"
#include "host/HostServices.h"
#include "services/ConsumerHelper.h"
#include "services/MessageCenter.h"
#include "services/ServiceHost.h"
#include "support/FakeAppContext.h"
#include "support/Mutations.h"
#include "support/ServiceFakes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using TMessage = std::map<std::string, std::string>;

// The push-message library as the centre sees it: numbered registrations, candidate messages
// run through the centre's filter (kept ones answered as a JSON list of their "id"), offsets
// moved by a fixed step, and a settable network error. Safe on any thread.
class TFakeConsumer final : public IConsumerHelper {
public:
    int32_t SetCofig(const std::string& ClientID, const std::string& AppID, const std::string& AppSecret,
                     const std::string& AccountType, const std::string& AccountName, const std::string& Token,
                     const std::string& MAC, const std::string& CompanyArray, const std::string& AreaCode,
                     int32_t Interval, int32_t Timeout, std::string& UniRegID, std::string&) override {
        const int inFlight = FConfiguring.fetch_add(1) + 1;
        int seen = FMaxConfiguring.load();
        while (inFlight > seen && !FMaxConfiguring.compare_exchange_weak(seen, inFlight)) {
        }
        std::this_thread::sleep_for(ConfigDelay);
        std::lock_guard<std::mutex> lock(FLock);
        FConfigs.push_back(ClientID + "|" + AppID + "|" + AppSecret + "|" + AccountType + "|" + AccountName +
                           "|" + Token + "|" + MAC + "|" + CompanyArray + "|" + AreaCode + "|" +
                           std::to_string(Interval) + "|" + std::to_string(Timeout));
        UniRegID = "REG" + std::to_string(FConfigs.size());
        FConfiguring.fetch_sub(1);
        return ConfigResult;
    }
    int32_t FetchEx(const std::string& UniRegID, const std::string& bizType, int32_t, std::string& JsonArray,
                    int64_t& BeginOffset, int64_t& EndOffset, std::string&,
                    const TMessageFilter& QueryFilter) override {
        JsonArray = Deliver(UniRegID, bizType, QueryFilter);
        BeginOffset += kStep;
        EndOffset = BeginOffset + kStep;
        return 0;
    }
    int32_t FetchOffsetEx(const std::string& UniRegID, const std::string& bizType, int32_t, int64_t Offset,
                          int64_t& EndOffset, std::string& JsonArray, std::string&,
                          const TMessageFilter& QueryFilter) override {
        JsonArray = Deliver(UniRegID, bizType, QueryFilter);
        EndOffset = Offset + kStep;
        return 0;
    }
    int32_t SendMsgReceipt(const std::string&, int32_t MsgID, int32_t Receipt, std::string&) override {
        return MsgID * 10 + Receipt;
    }
    void GetLastNetFetchError(const std::string&, std::string& ErrorCode, std::string& ErrorMsg) override {
        std::lock_guard<std::mutex> lock(FLock);
        ErrorCode = NetErrorCode;
        ErrorMsg = NetErrorMsg;
    }
    int32_t HttpRequestFetch(const std::string&, std::string&) override {
        ++NetworkFetches;
        return 0;
    }

    // Each configuration's arguments joined by "|".
    std::vector<std::string> Configs() {
        std::lock_guard<std::mutex> lock(FLock);
        return FConfigs;
    }
    std::vector<std::string> Fetches() {
        std::lock_guard<std::mutex> lock(FLock);
        return FFetches;
    }
    void SetNetError(const std::string& code, const std::string& msg) {
        std::lock_guard<std::mutex> lock(FLock);
        NetErrorCode = code;
        NetErrorMsg = msg;
    }

    static constexpr int64_t kStep = int64_t(1) << 40;
    std::vector<TMessage> Candidates; // set before the calls
    int32_t ConfigResult = 0;
    std::chrono::milliseconds ConfigDelay{0};
    std::atomic<int> NetworkFetches{0};
    std::atomic<int> FMaxConfiguring{0};

private:
    std::string Deliver(const std::string& uniRegID, const std::string& bizType,
                        const TMessageFilter& filter) {
        {
            std::lock_guard<std::mutex> lock(FLock);
            FFetches.push_back(uniRegID + ":" + bizType);
        }
        JsonRef kept = NewJsonArray();
        for (const TMessage& m : Candidates) {
            const auto member = [&m](const char* name) {
                auto it = m.find(name);
                return it == m.end() ? std::string() : it->second;
            };
            if (filter(member)) kept->Add(NewJsonString(member("id")));
        }
        return PrintJson(kept);
    }

    std::mutex FLock;
    std::atomic<int> FConfiguring{0};
    std::vector<std::string> FConfigs;
    std::vector<std::string> FFetches;
    std::string NetErrorCode, NetErrorMsg;
};

struct TNotifyCall {
    std::string Label;
    TNotifyType Type;
    TVarArgs Args;
};

// The host: fixed answers of the "app" actions it is asked for, notifications kept. Safe on any
// thread; OnUserInfo runs inside the "app.userinfor" call.
class TFakeHost final : public IServiceHost {
public:
    std::string AppID() override { return "APP"; }
    std::string ProgramFolder() override { return "Z:\\app\\"; }
    bool TakeHelpRequest() override { return false; }
    std::string CallAction(const std::string& sAction, const TVarArgs&) override {
        if (sAction == "app.appmac") return "00-11-22";
        if (sAction == "app.MsgAppId") return "MSGAPP";
        if (sAction != "app.userinfor") return {};
        if (OnUserInfo) OnUserInfo();
        std::lock_guard<std::mutex> lock(FLock);
        return UserInfo;
    }
    bool AppendNotifyTask(const std::string& label, TNotifyType type, const TVarArgs& args) override {
        std::lock_guard<std::mutex> lock(FLock);
        FNotified.push_back({label, type, args});
        return NotifyAccepted;
    }
    std::string TaxCalendarURL() override { return {}; }

    std::vector<TNotifyCall> Notified() {
        std::lock_guard<std::mutex> lock(FLock);
        return FNotified;
    }
    void SetUserInfo(const std::string& json) {
        std::lock_guard<std::mutex> lock(FLock);
        UserInfo = json;
    }

    std::function<void()> OnUserInfo;
    bool NotifyAccepted = true;

private:
    std::mutex FLock;
    std::string UserInfo = "{}";
    std::vector<TNotifyCall> FNotified;
};

// Control parameters and main log of TFakeControlParams, taken by one thread at a time.
class TSharedFramework final : public IHostFramework {
public:
    std::string GetControlParams(std::string_view t, std::string_view s, std::string_view k,
                                 std::string_view def) override {
        std::lock_guard<std::mutex> lock(FLock);
        return Params.GetControlParams(t, s, k, def);
    }
    bool SetControlParams(std::string_view, std::string_view, std::string_view, std::string_view) override {
        return false;
    }
    void WriteLog(std::string_view line) override {
        std::lock_guard<std::mutex> lock(FLock);
        Params.WriteLog(line);
    }
    void ShowForm(uintptr_t) override {}
    void* AppFrameworkInterface() override { return nullptr; }

    size_t Count(const std::string& line) {
        std::lock_guard<std::mutex> lock(FLock);
        return static_cast<size_t>(std::count(Params.Log.begin(), Params.Log.end(), line));
    }

    TFakeControlParams Params;

private:
    std::mutex FLock;
};

// Parameters of a page call: texts and 32-bit integers.
struct TArg {
    TArg(const char* text) : Text(text) {}
    TArg(std::string text) : Text(std::move(text)) {}
    TArg(int32_t value) : IsInt(true), Int(value) {}
    std::string Text;
    bool IsInt = false;
    int32_t Int = 0;
};

TCallerContextPtr Context(std::initializer_list<TArg> args) {
    TFwRef<IAppContext> raw(TFakeAppContext::Create());
    for (const TArg& a : args) {
        if (a.IsInt)
            raw->GetParams()->AddIntParam(jptInteger, a.Int);
        else
            raw->GetParams()->AddStrParam(jptText, Utf8ToAnsi(a.Text).c_str());
    }
    return TCallerContext::Create(raw.Get());
}

// The values of a packed-parameters answer.
JsonRef PackedValues(const std::string& answer) {
    const JsonRef packed = ParseJson(answer);
    return packed ? packed->GetO("paramValues") : nullptr;
}

const std::string kReinitLine = u8"当前需要重新初始化MSG";

class MessageCenter : public ::testing::Test {
protected:
    void SetUp() override {
        SetConsumerHelper(&FConsumer);
        SetServiceHost(&FHost);
        SetHostFramework(&FFramework);
        FFramework.Params.Values["DyncConfig/MsgCenter/ProductKey"] = HostEncryptString("S3cret");
        FHost.SetUserInfo(R"({"token":"T1","loginInfo":{"accountId":"acc-9"}})");
    }
    void TearDown() override {
        SetHostFramework(nullptr);
        SetServiceHost(nullptr);
        SetConsumerHelper(nullptr);
    }

    std::string Call(std::string (TMessageCenter::*action)(TCallerContext*),
                     std::initializer_list<TArg> args) {
        TCallerContextPtr ctx = Context(args);
        return (FCenter.*action)(ctx.Get());
    }
    // The messages of a GetMessage answer.
    std::string Messages(const std::string& types, int32_t offset = 0) {
        const JsonRef values = PackedValues(Call(&TMessageCenter::GetMessage, {types, 20, offset}));
        return values ? values->S(0) : "<not packed>";
    }

    TFakeConsumer FConsumer;
    TFakeHost FHost;
    TSharedFramework FFramework;
    TMessageCenter FCenter;
};

TEST_F(MessageCenter, FirstFetchConfiguresTheClientForTheUserAndTheConfiguredArea) {
    FFramework.Params.Values["StaticConfig/EnviParams/areaCode"] = "32";
    Call(&TMessageCenter::SetMsgEnterprise, {"[\"91320100\"]"});
    Call(&TMessageCenter::SetCurUserToken, {"T1"});
    Messages("notice");

    EXPECT_EQ(FFramework.Count(kReinitLine), 1u);
    EXPECT_EQ(FFramework.Count(u8"初始化MessageCenter成功!"), 1u);
    const std::vector<std::string> configs = FConsumer.Configs();
    ASSERT_FALSE(configs.empty());
    EXPECT_EQ(configs.back(), "MSGAPP|MSGAPP|S3cret|1|acc-9|T1|00-11-22|[\"91320100\"]|320000|30|60");
    EXPECT_EQ(FConsumer.Fetches().back(), "REG" + std::to_string(configs.size()) + ":notice");

    // Configured now: the next fetch does not configure again.
    const size_t configured = configs.size();
    Messages("notice");
    EXPECT_EQ(FConsumer.Configs().size(), configured);

    // Logged out: the user information has no token.
    FHost.SetUserInfo("{}");
    EXPECT_EQ(Call(&TMessageCenter::SetCurUserToken, {""}), "true");
    Messages("notice");
    EXPECT_EQ(FConsumer.Configs().back(), "MSGAPP|MSGAPP|S3cret|2|||00-11-22|[\"91320100\"]|320000|30|60");
}

TEST_F(MessageCenter, TheSameTokenTwiceConfiguresOnceAndAFailedConfigurationIsRetried) {
    EXPECT_EQ(Call(&TMessageCenter::SetMsgConifg, {"320100"}), "true");
    EXPECT_EQ(Call(&TMessageCenter::SetCurUserToken, {"T1"}), "true");
    EXPECT_EQ(Call(&TMessageCenter::SetCurUserToken, {"T1"}), "true");
    EXPECT_EQ(Call(&TMessageCenter::SetCurUserToken, {}), "false");
    EXPECT_TRUE(FConsumer.Configs().empty()); // setters configure nothing
    Messages("notice");
    Call(&TMessageCenter::SynFetchMsg, {"notice", 20, 0});
    EXPECT_EQ(FFramework.Count(kReinitLine), 1u);
    EXPECT_EQ(FConsumer.Configs().size(), 1u);

    // A failing library: logged, nothing fetched, and every later fetch tries again.
    FConsumer.ConfigResult = -1;
    Call(&TMessageCenter::SetCurUserToken, {"T2"});
    const size_t fetches = FConsumer.Fetches().size();
    EXPECT_EQ(Messages("notice"), "");
    EXPECT_EQ(FFramework.Count(u8"初始化MessageCenter异常："), 1u);
    EXPECT_EQ(FConsumer.Fetches().size(), fetches);
    EXPECT_EQ(FConsumer.Configs().size(), 3u); // on the change, then again before the fetch
    const JsonRef receipt = PackedValues(Call(&TMessageCenter::SendMsgReceipt, {4, 2}));
    ASSERT_TRUE(receipt);
    EXPECT_EQ(receipt->I(0), 42); // the library's code passes through
    EXPECT_EQ(FConsumer.Configs().size(), 4u);
    FConsumer.ConfigResult = 0;
    EXPECT_EQ(Messages("notice"), "[]");
    EXPECT_EQ(FConsumer.Configs().size(), 5u);
}

TEST_F(MessageCenter, EveryFetchDropsDiscardedExpiredAndCancelledMessages) {
    FConsumer.Candidates = {
        {{"id", "notice-discarded"}, {"bizType", "000000_zytz"}, {"isDiscard", "TRUE"}},
        {{"id", "notice"}, {"bizType", "000000_ZYTZ"}, {"isDiscard", "false"}},
        {{"id", "tip-expired"}, {"bizType", "XCTP"}, {"expireTime", "2000-01-01 00:00:00"}},
        {{"id", "tip-later"}, {"bizType", "xctp"}, {"expireTime", "2999-12-31 23:59:59"}},
        {{"id", "tip-open"}, {"bizType", "Xctp"}},
        {{"id", "tip-discarded"}, {"bizType", "xctp"}, {"isDiscard", "true"}},
        {{"id", "cancel"}, {"bizType", "XMS.Cancel"}},
        {{"id", "other"}, {"bizType", "tax"}, {"isDiscard", "true"}},
    };
    const std::string kept = R"(["notice","tip-later","tip-open","other"])";
    EXPECT_EQ(Messages("all"), kept);
    const JsonRef byOffset = PackedValues(Call(&TMessageCenter::GetMessageOffset, {"all", 20, 0}));
    ASSERT_TRUE(byOffset);
    EXPECT_EQ(byOffset->S(0), kept);
    EXPECT_EQ(Call(&TMessageCenter::SynFetchMsg, {"all", 20, 0}), kept);
    EXPECT_EQ(FConsumer.NetworkFetches.load(), 1);
    EXPECT_EQ(FFramework.Count(u8"同步拉数据!len=" + std::to_string(kept.size())), 1u);

    // Expiry is an ordinal comparison with the local time; the moment itself still counts.
    const auto tip = [](const std::string& expireTime) {
        return [expireTime](const char* name) {
            return std::string(name) == "bizType"      ? "xctp"
                   : std::string(name) == "expireTime" ? expireTime
                                                       : "";
        };
    };
    EXPECT_TRUE(KeepMessage(tip("2024-05-01 10:00:00"), "2024-05-01 10:00:00"));
    EXPECT_FALSE(KeepMessage(tip("2024-05-01 09:59:59"), "2024-05-01 10:00:00"));
    EXPECT_EQ(LocalTimeText().size(), 19u);
}

TEST_F(MessageCenter, OneBackgroundFetchPerTypeListThatHasMessages) {
    FConsumer.Candidates = {{{"id", "m1"}, {"bizType", "tax"}}, {{"id", "m2"}, {"bizType", "tax"}}};
    const JsonRef first = PackedValues(Call(&TMessageCenter::GetMessage, {"a,b", 20, 7, 9}));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->S(0), R"(["m1","m2"])");
    // The offsets as the library moved them, beyond 32 bits.
    EXPECT_EQ(first->I(1), 7 + TFakeConsumer::kStep);
    EXPECT_EQ(first->I(2), 7 + 2 * TFakeConsumer::kStep);
    Messages("a,b");
    Messages("b,c");
    Call(&TMessageCenter::GetMessageOffset, {"d", 20, 0}); // never schedules

    std::vector<TNotifyCall> notified = FHost.Notified();
    ASSERT_EQ(notified.size(), 2u);
    EXPECT_EQ(notified[0].Label, u8"后台拉消息");
    EXPECT_EQ(notified[0].Type, NTMsg);
    ASSERT_EQ(notified[0].Args.size(), 3u);
    EXPECT_EQ(notified[0].Args[0].VText, "a,b");
    EXPECT_EQ(notified[0].Args[1].VType, TVarKind::vtInteger);
    EXPECT_EQ(notified[0].Args[1].VInt, 20);
    EXPECT_EQ(notified[0].Args[2].VType, TVarKind::vtInt64);
    EXPECT_EQ(notified[0].Args[2].VInt, 7 + TFakeConsumer::kStep);
    EXPECT_EQ(notified[1].Args[0].VText, "b,c");
    EXPECT_EQ(FFramework.Count(u8"已通知后台拉取a,b"), 1u);

    // A list without messages asks every time; a refused notification is logged.
    FConsumer.Candidates.clear();
    FHost.NotifyAccepted = false;
    Messages("a,b");
    Messages("a,b");
    EXPECT_EQ(FHost.Notified().size(), 4u);
    EXPECT_EQ(FFramework.Count(u8"通知后台拉取a,b失败!"), 2u);

    // A new user: the lists are forgotten and scheduled again.
    FHost.NotifyAccepted = true;
    FConsumer.Candidates = {{{"id", "m3"}, {"bizType", "tax"}}, {{"id", "m4"}, {"bizType", "tax"}}};
    Call(&TMessageCenter::SetCurUserToken, {"T9"});
    Messages("a,b");
    Messages("a,b");
    EXPECT_EQ(FHost.Notified().size(), 5u);
}

TEST_F(MessageCenter, InnerGetMsgAndNetworkErrors) {
    Call(&TMessageCenter::SetMsgConifg, {"320100"});
    FConsumer.SetNetError("E503", u8"网络不通");
    EXPECT_EQ(Call(&TMessageCenter::GetMessage, {"InnerGetMsg", 20, 0}), "");
    EXPECT_EQ(FFramework.Count("InnerGetMsg "), 1u);
    EXPECT_TRUE(FConsumer.Fetches().empty());
    EXPECT_EQ(FFramework.Count(u8"ErrorCode= E503 ErrorMsg=网络不通"), 1u); // logged by the configuration

    EXPECT_EQ(Messages("a"), u8"ErrorCode= E503 ErrorMsg=网络不通");
    FConsumer.Candidates = {{{"id", "m1"}, {"bizType", "tax"}}};
    EXPECT_EQ(Messages("a"), R"(["m1"])");
    FConsumer.SetNetError("E1", "");
    FConsumer.Candidates.clear();
    EXPECT_EQ(Messages("a"), "[]");
}

TEST_F(MessageCenter, OneChangeIsConfiguredOnceWhateverTheNumberOfCallers) {
    Call(&TMessageCenter::SetMsgConifg, {"320100"});
    FConsumer.ConfigDelay = std::chrono::milliseconds(50);
    std::vector<std::thread> callers;
    for (int i = 0; i < 4; ++i)
        callers.emplace_back([this, i] { Messages("t" + std::to_string(i)); });
    for (std::thread& t : callers)
        t.join();
    EXPECT_EQ(FConsumer.Configs().size(), 1u);
    EXPECT_EQ(FConsumer.Fetches().size(), 4u);
    for (const std::string& fetch : FConsumer.Fetches())
        EXPECT_EQ(fetch.rfind("REG1:", 0), 0u) << fetch;
}

TEST_F(MessageCenter, PageCallsBackgroundFetchesAndLogInsRunSideBySide) {
    Call(&TMessageCenter::SetMsgConifg, {"320100"});
    FConsumer.Candidates = {{{"id", "m1"}, {"bizType", "tax"}}, {{"id", "m2"}, {"bizType", "xms.cancel"}}};
    FConsumer.ConfigDelay = std::chrono::milliseconds(1);
    // The configuration's own action call comes back into the service.
    FHost.OnUserInfo = [this] {
        Call(&TMessageCenter::SetMsgEnterprise, {"[]"});
        Call(&TMessageCenter::GetMessage, {"InnerGetMsg", 1, 0});
    };
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    threads.emplace_back([&] { // log-ins and log-outs
        for (int i = 0; i < 30; ++i) {
            Call(&TMessageCenter::SetCurUserToken, {i % 3 == 0 ? std::string() : "T" + std::to_string(i)});
            Call(&TMessageCenter::SetMsgEnterprise, {i % 2 ? "[]" : "[\"C1\"]"});
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        stop = true;
    });
    for (int n = 0; n < 2; ++n) {
        threads.emplace_back([&, n] { // page calls on the runner
            for (int i = 0; !stop; ++i) {
                Messages("list" + std::to_string((i + n) % 4));
                Call(&TMessageCenter::GetMessageOffset, {"list", 5, i});
                Call(&TMessageCenter::SendMsgReceipt, {i, 1});
            }
        });
    }
    threads.emplace_back([&] { // the poller
        while (!stop)
            EXPECT_EQ(Call(&TMessageCenter::SynFetchMsg, {"list", 5, 0}), R"(["m1"])");
    });
    for (std::thread& t : threads)
        t.join();

    EXPECT_EQ(FConsumer.FMaxConfiguring.load(), 1);
    EXPECT_GE(FConsumer.Configs().size(), 2u);
    EXPECT_FALSE(FHost.Notified().empty());
}

} // namespace

// The user information and the messages' members come from other libraries: mangled ones
// configure as nobody or drop the message, and never stop a fetch from being answered.
TEST_F(MessageCenter, MangledUserInformationAndMessageMembersAreSurvived) {
    std::mt19937 rng(7);
    const std::vector<std::string> users = {R"({"token":"T1","loginInfo":{"accountId":"acc-9"}})",
                                            R"({"token":"T2","loginInfo":{}})"};
    for (int i = 0; i < 300; ++i) {
        FHost.SetUserInfo(MutatedText(users, rng));
        Call(&TMessageCenter::SetCurUserToken, {"T" + std::to_string(i)});
        ASSERT_NE(Messages("000000_ZYTZ"), "<not packed>");
    }
    const std::vector<std::string> members = {"xctp", "2099-01-01 00:00:00", "true", "xms.cancel"};
    for (int i = 0; i < 3000; ++i) {
        const std::string type = MutatedText(members, rng), expiry = MutatedText(members, rng);
        KeepMessage([&](const char* name) { return std::string(name) == "bizType" ? type : expiry; },
                    "2026-12-08 12:00:00");
    }
}
