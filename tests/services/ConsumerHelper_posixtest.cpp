// The push-message client natively: no library, and the one a test sets in its place.
#include "services/ConsumerHelper.h"

#include <gtest/gtest.h>

namespace {

class TCountingHelper final : public IConsumerHelper {
public:
    int32_t SetCofig(const std::string&, const std::string&, const std::string&, const std::string&,
                     const std::string&, const std::string&, const std::string&, const std::string&,
                     const std::string&, int32_t, int32_t, std::string&, std::string&) override {
        return 7;
    }
    int32_t FetchEx(const std::string&, const std::string&, int32_t, std::string&, int64_t&, int64_t&,
                    std::string&, const TMessageFilter&) override {
        return 7;
    }
    int32_t FetchOffsetEx(const std::string&, const std::string&, int32_t, int64_t, int64_t&, std::string&,
                          std::string&, const TMessageFilter&) override {
        return 7;
    }
    int32_t SendMsgReceipt(const std::string&, int32_t, int32_t, std::string&) override { return 7; }
    void GetLastNetFetchError(const std::string&, std::string&, std::string&) override {}
    int32_t HttpRequestFetch(const std::string&, std::string&) override { return 7; }
};

TEST(ConsumerHelperNative, AnswersMinusOneWithoutTheLibraryUntilATestSetsAnother) {
    std::string regId, message, json, code = "x";
    int64_t begin = 0, end = 0;
    EXPECT_EQ(
        ConsumerHelper().SetCofig("c", "a", "s", "1", "n", "t", "m", "[]", "110000", 30, 10, regId, message),
        -1);
    EXPECT_EQ(message, "没有找到ZRPNSApi.dll");
    message.clear();
    EXPECT_EQ(ConsumerHelper().FetchEx("R", "xctp", 1, json, begin, end, message, nullptr), -1);
    EXPECT_EQ(message, "没有找到ZRPNSApi.dll");
    ConsumerHelper().GetLastNetFetchError("R", code, message);
    EXPECT_EQ(code, "");
    EXPECT_EQ(message, "没有找到ZRPNSApi.dll");

    TCountingHelper fake;
    SetConsumerHelper(&fake);
    EXPECT_EQ(ConsumerHelper().HttpRequestFetch("R", message), 7);
    SetConsumerHelper(nullptr);
    EXPECT_EQ(ConsumerHelper().HttpRequestFetch("R", message), -1);
}

} // namespace
