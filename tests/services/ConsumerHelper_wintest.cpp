// The push-message client over the stand-in library (stubs/ZRPNSApi), put in the library's one
// place in the Wine prefix for each case.
#include "services/ConsumerHelperLibrary.h"
#include "support/PushLibraryEnv.h"
#include "support/WinTestEnv.h"

#include "foundation/Json.h"
#include "webbridge/AppFrameworkContract.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr char kNotFound[] = "没有找到ZRPNSApi.dll";

class ConsumerHelperTest : public ::testing::Test {
protected:
    void Store(const std::string& json) { WriteWholeFile(FFolder.Path() + L"store.json", json); }
    std::vector<JsonRef> Calls(const std::string& kind) {
        return ReadJsonLines(FFolder.Path() + L"calls.jsonl", kind);
    }

    // Registers with valid arguments; the registration identifier.
    static std::string Register(TConsumerHelper& helper, const std::string& accountName = "张三") {
        std::string regId, message;
        EXPECT_EQ(helper.SetCofig("client1", "APP1", "secret", "1", accountName, "token-1", "00-11-22",
                                  "[\"91110\"]", "110000", 30, 10, regId, message),
                  0)
            << message;
        return regId;
    }

    TTestFolder FFolder{L"pns"};
    TScopedEnv FStoreEnv{L"APPFRAME_STUB_PNS_STORE", FFolder.Path() + L"store.json"};
    TScopedEnv FTranscriptEnv{L"APPFRAME_STUB_PNS_TRANSCRIPT", FFolder.Path() + L"calls.jsonl"};
};

std::vector<int64_t> MsgIds(const std::string& jsonArray) {
    std::vector<int64_t> ids;
    const JsonRef array = ParseJson(jsonArray);
    for (size_t i = 0; array && i < array->Length(); ++i)
        ids.push_back(array->O(i)->GetI("msgId"));
    return ids;
}

TEST_F(ConsumerHelperTest, WithoutTheLibraryEveryOperationAnswersMinusOneAndTouchesNothing) {
    TPushLibraryInPlace none(L"");
    TConsumerHelper helper;
    EXPECT_FALSE(helper.IsLoaded());
    const TMessageFilter filter = [](const TMessageMember&) -> bool { throw std::logic_error("asked"); };

    std::string regId = "old", message, json = "old", code = "old";
    int64_t begin = 5, end = 6;
    EXPECT_EQ(helper.SetCofig("c", "a", "s", "1", "n", "t", "m", "[]", "110000", 30, 10, regId, message), -1);
    EXPECT_EQ(message, kNotFound);
    EXPECT_EQ(regId, "old");
    message.clear();
    EXPECT_EQ(helper.FetchEx("REG", "xctp", 10, json, begin, end, message, filter), -1);
    EXPECT_EQ(message, kNotFound);
    message.clear();
    EXPECT_EQ(helper.FetchOffsetEx("REG", "xctp", 10, 3, end, json, message, filter), -1);
    EXPECT_EQ(message, kNotFound);
    EXPECT_EQ(json, "old");
    EXPECT_EQ(begin, 5);
    EXPECT_EQ(end, 6);
    message.clear();
    EXPECT_EQ(helper.SendMsgReceipt("REG", 1, 1, message), -1);
    EXPECT_EQ(message, kNotFound);
    message.clear();
    EXPECT_EQ(helper.HttpRequestFetch("REG", message), -1);
    EXPECT_EQ(message, kNotFound);
    helper.GetLastNetFetchError("REG", code, message);
    EXPECT_EQ(code, "");
    EXPECT_EQ(message, kNotFound);
}

// Registration, fetches through the callback with a filter, receipts and the network error, in
// the order the message centre uses them.
TEST_F(ConsumerHelperTest, FetchesDeliverTheFilteredMessagesThroughTheCallback) {
    Store(R"({"messages":{
        "xctp":[{"msgId":1,"bizType":"xctp","isDiscard":"false","title":"通知一"},
                {"msgId":2,"bizType":"xctp","isDiscard":"true"},
                {"msgId":3,"bizType":"xctp","isDiscard":"false"}],
        "000000_ZYTZ":[{"msgId":7,"bizType":"000000_ZYTZ","isDiscard":"true","offset":40},
                       {"msgId":8,"bizType":"000000_ZYTZ","isDiscard":"","offset":41}]},
      "netError":{"code":"E503","message":"服务器不可用"}})");
    TPushLibraryInPlace library(PushStandIn());
    TConsumerHelper helper;
    ASSERT_TRUE(helper.IsLoaded());

    const std::string regId = Register(helper);
    EXPECT_EQ(regId, "REG-client1");
    const std::vector<JsonRef> configs = Calls("SetConfig");
    ASSERT_EQ(configs.size(), 1u);
    EXPECT_EQ(configs[0]->GetS("accountName"), "张三");
    EXPECT_EQ(configs[0]->GetS("companyArray"), "[\"91110\"]");
    EXPECT_EQ(configs[0]->GetI("interval"), 30);
    EXPECT_EQ(configs[0]->GetI("timeout"), 10);

    // The filter sees each candidate's members; the stand-in overwrites the delivered text as soon
    // as the callback returns, so the answer is the client's own copy.
    std::vector<std::string> seen;
    const TMessageFilter keepUndiscarded = [&](const TMessageMember& member) {
        seen.push_back(member("bizType") + "/" + member("title"));
        return member("isDiscard") != "true";
    };
    std::string json, message;
    int64_t begin = 0, end = 0;
    ASSERT_EQ(helper.FetchEx(regId, "xctp,000000_ZYTZ", 10, json, begin, end, message, keepUndiscarded), 0)
        << message;
    EXPECT_EQ(MsgIds(json), (std::vector<int64_t>{1, 3, 8}));
    EXPECT_EQ(ParseJson(json)->O(0)->GetS("title"), "通知一");
    EXPECT_EQ(message, "ok");
    EXPECT_EQ(begin, 1);
    EXPECT_EQ(end, 41);
    EXPECT_EQ(seen,
              (std::vector<std::string>{"xctp/通知一", "xctp/", "xctp/", "000000_ZYTZ/", "000000_ZYTZ/"}));

    // Nothing left after the end offset: the callback is not called and the messages are empty.
    json = "stale";
    int64_t from = end, to = end;
    ASSERT_EQ(helper.FetchEx(regId, "xctp", 10, json, from, to, message, keepUndiscarded), 0);
    EXPECT_EQ(json, "");

    // A filter that raises keeps every candidate, and nothing reaches the library.
    const TMessageFilter raising = [](const TMessageMember&) -> bool {
        throw std::runtime_error("bad filter");
    };
    int64_t offsetEnd = 0;
    ASSERT_EQ(helper.FetchOffsetEx(regId, "xctp", 2, 1, offsetEnd, json, message, raising), 0) << message;
    EXPECT_EQ(MsgIds(json), (std::vector<int64_t>{2, 3}));
    EXPECT_EQ(offsetEnd, 3);

    // The library's own codes pass through with its messages.
    EXPECT_EQ(helper.SendMsgReceipt(regId, 3, 1, message), 0);
    EXPECT_EQ(helper.SendMsgReceipt(regId, 99, 1, message), 1003);
    EXPECT_EQ(message, "消息不存在");
    const std::vector<JsonRef> receipts = Calls("SendMsgReceipt");
    ASSERT_EQ(receipts.size(), 2u);
    EXPECT_EQ(receipts[0]->GetI("msgId"), 3);
    EXPECT_EQ(receipts[0]->GetI("receipt"), 1);
    EXPECT_EQ(helper.HttpRequestFetch(regId, message), 1004);
    EXPECT_EQ(message, "服务器不可用");
    std::string code;
    helper.GetLastNetFetchError(regId, code, message);
    EXPECT_EQ(code, "E503");
    EXPECT_EQ(message, "服务器不可用");
}

// The delivered text and the filter are process-wide while a fetch runs: fetches on two threads
// each get their own messages, asked through their own filter.
TEST_F(ConsumerHelperTest, ConcurrentFetchesKeepTheirOwnResultsAndFilters) {
    Store(R"({"messages":{"a":[{"msgId":1,"bizType":"a"},{"msgId":2,"bizType":"a"}],
                          "b":[{"msgId":7,"bizType":"b"},{"msgId":8,"bizType":"b"}]}})");
    TPushLibraryInPlace library(PushStandIn());
    TConsumerHelper helper;
    const std::string regId = Register(helper);

    auto fetchMany = [&](const std::string& type, std::vector<int64_t> expected, int* mismatches) {
        const TMessageFilter ownTypeOnly = [&](const TMessageMember& member) {
            if (member("bizType") != type) ++*mismatches;
            return true;
        };
        for (int i = 0; i < 40; ++i) {
            std::string json, message;
            int64_t begin = 0, end = 0;
            helper.FetchEx(regId, type, 10, json, begin, end, message, ownTypeOnly);
            if (MsgIds(json) != expected) ++*mismatches;
        }
    };
    int mismatchesA = 0, mismatchesB = 0;
    std::thread other(fetchMany, "b", std::vector<int64_t>{7, 8}, &mismatchesB);
    fetchMany("a", {1, 2}, &mismatchesA);
    other.join();
    EXPECT_EQ(mismatchesA, 0);
    EXPECT_EQ(mismatchesB, 0);
}

TEST_F(ConsumerHelperTest, AMissingExportFailsOnlyItsOwnOperation) {
    Store(R"({"messages":{"xctp":[{"msgId":1},{"msgId":2}]}})");
    TPushLibraryInPlace library(PushStandInWithoutFetchOffset());
    TConsumerHelper helper;
    ASSERT_TRUE(helper.IsLoaded());
    const std::string regId = Register(helper);

    std::string json, message;
    int64_t end = 0;
    // The label directly followed by the error's message. The stand-in also lacks every operation
    // the message centre does not use.
    const auto missing = [](const char* label, const char* name) {
        return label + TConsumerHelper::LibraryPath() + kFwErrOfFunction + name + kFwErrNotFound;
    };
    EXPECT_EQ(helper.FetchOffsetEx(regId, "xctp", 10, 0, end, json, message, nullptr), -1);
    EXPECT_EQ(message, missing("TConsumerHelper.FetchOffset", "FetchOffsetEx"));
    int64_t first = 0, last = 0, count = 0;
    EXPECT_EQ(helper.FetchAEx(regId, "xctp", 0, json, first, last, count, message, nullptr), -1);
    EXPECT_EQ(message, missing("TConsumerHelper.FetchA", "FetchAEx"));
    EXPECT_EQ(helper.FetchA(regId, "xctp", 0, json, first, last, count, message), -1);
    EXPECT_EQ(message, missing("TConsumerHelper.FetchA", "FetchA"));
    EXPECT_EQ(helper.Fetch(regId, "xctp", 10, json, first, last, message), -1);
    EXPECT_EQ(message, missing("TConsumerHelper.Fetch", "Fetch"));
    EXPECT_EQ(helper.FetchOffset(regId, "xctp", 10, 0, last, json, message), -1);
    EXPECT_EQ(message, missing("TConsumerHelper.FetchOffset", "FetchOffset"));
    EXPECT_EQ(helper.AttachToMsgDB(regId, "APP1", "李四", message), -1);
    EXPECT_EQ(message, missing("TConsumerHelper.AttachToMsgDB", "AttachToMsgDB"));
    EXPECT_EQ(helper.FilterQuery(regId, "bizType=xctp", json, message), -1);
    EXPECT_EQ(message, missing("TConsumerHelper.FilterQuery", "FilterQuery"));

    int64_t begin = 0;
    EXPECT_EQ(helper.FetchEx(regId, "xctp", 10, json, begin, end, message, nullptr), 0) << message;
    EXPECT_EQ(MsgIds(json), (std::vector<int64_t>{1, 2}));
    EXPECT_EQ(helper.SendMsgReceipt(regId, 2, 1, message), 0) << message;
}

TEST_F(ConsumerHelperTest, BuffersFilledToTheLastByteAreReadWithinTheirSize) {
    // 40 characters for the 32 of the identifier buffer, 600 for the 512 of the message buffer.
    const std::string longId = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789abcd";
    std::string longMessage;
    for (int i = 0; i < 600; ++i)
        longMessage += "消";
    Store(R"({"registrationId":")" + longId + R"(","messageText":")" + longMessage + R"("})");
    TPushLibraryInPlace library(PushStandIn());
    TConsumerHelper helper;

    std::string regId, message;
    ASSERT_EQ(helper.SetCofig("client1", "APP1", "secret", "1", "n", "token-1", "m", "[]", "110000", 30, 10,
                              regId, message),
              0);
    EXPECT_EQ(regId, longId.substr(0, 32));
    EXPECT_EQ(message, longMessage.substr(0, 512 * 3));
}

} // namespace
