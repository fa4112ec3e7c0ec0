#include "foundation/Json.h"
#include "foundation/RequestSign.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct TSigned {
    std::string answer;
    std::vector<std::string> log;
};

TSigned Sign(std::string_view request, std::string_view appId = "APP1", int64_t now = 1700000000123) {
    TSigned result;
    result.answer = SignRequest(
        request, appId, [now] { return now; },
        [&result](std::string_view line) { result.log.emplace_back(line); });
    return result;
}

void ExpectAnswer(const std::string& answer, const std::string& appId, const std::string& appKey,
                  const std::string& timestamp) {
    const JsonRef json = ParseJson(answer);
    ASSERT_TRUE(json && json->IsType(stObject)) << answer;
    EXPECT_EQ(json->Keys().size(), 3u) << answer;
    ASSERT_TRUE(json->GetO("timestamp") && json->GetO("timestamp")->IsType(stString)) << answer;
    EXPECT_EQ(json->GetS("appId"), appId);
    EXPECT_EQ(json->GetS("appkey"), appKey);
    EXPECT_EQ(json->GetS("timestamp"), timestamp);
    EXPECT_EQ(answer.find(' '), std::string::npos) << "compact text expected: " << answer;
}

const char kExit[] = "退出TAppAction.HttpRequest.";

} // namespace

TEST(RequestSign, SignsValuesInOrdinalKeyOrder) {
    // Order A, appId, appSecret, b, timestamp: "1" "APP1" secret "2" "100".
    const TSigned s =
        Sign(R"({"params":[{"key":"b","value":"2"},{"key":"A","value":"1"}],"body":"","timestamp":"100"})");
    ExpectAnswer(s.answer, "APP1", "D10B89A244994177F2D9E531D25A059864CEFBC3", "100");
    EXPECT_EQ(s.log, std::vector<std::string>{kExit});
    EXPECT_EQ(s.answer.find("Xq7Lmw2Tzk"), std::string::npos) << "the secret never leaves";
}

TEST(RequestSign, EmptyTimestampUsesTheComputedOneInDigestAndAnswer) {
    const TSigned s = Sign(R"({"timestamp":""})", "");
    ExpectAnswer(s.answer, "", "21A14B641E2379F74B3316468A49FA66DFD0FFA6", "1700000000123");
    // A missing member counts as empty too.
    EXPECT_EQ(Sign("{}", "").answer, s.answer);
}

TEST(RequestSign, EncodesSpacesChineseAndSignsTheBodyAsBizData) {
    const TSigned s = Sign(R"({"params":[{"key":"k","value":"a b"},{"key":"z","value":"中"}],)"
                           R"("body":"{\"q\":1}","timestamp":"5","isUtf8":1})",
                           "X");
    ExpectAnswer(s.answer, "X", "EAE4C02D4E180C6B4514B07DA540E1097B231C58", "5");
}

TEST(RequestSign, DuplicateKeysAndNonTextValuesAreSignedAsGiven) {
    ExpectAnswer(
        Sign(R"({"params":[{"key":"k","value":"1"},{"key":"k","value":"1"}],"timestamp":7})", "A").answer,
        "A", "8801B1AC03B1AB35CC0843DB17339BCB7E5A4A34", "7");
    ExpectAnswer(
        Sign(R"({"params":[{"key":"n","value":5},{"key":"m","value":null},{"key":"t","value":true}],)"
             R"("timestamp":"9","isUtf8":"0"})",
             "A")
            .answer,
        "A", "58C4BBA1F4E9D545E73ADC479AAFFC2871CC66F7", "9");
}

TEST(RequestSign, MalformedRequestsAnswerEmptyAndLogTheFailureThenTheExit) {
    const char* const bad[] = {
        "abc",
        "",
        "[1,2]",
        "\"text\"",
        R"({"params":"x"})",
        R"({"params":[1]})",
        R"({"params":[{"key":{"a":1},"value":"v"}]})",
        R"({"body":[1]})",
        R"({"isUtf8":"abc"})",
        R"({"isUtf8":1.5})",
        R"({"isUtf8":4294967296})",
    };
    for (const char* request : bad) {
        const TSigned s = Sign(request);
        EXPECT_EQ(s.answer, "") << request;
        ASSERT_EQ(s.log.size(), 2u) << request;
        EXPECT_EQ(s.log[0].rfind("[TAppAction.HttpRequest] 异常. ", 0), 0u) << s.log[0];
        EXPECT_EQ(s.log[1], kExit);
    }
    EXPECT_EQ(Sign("abc").log[0], "[TAppAction.HttpRequest] 异常. Invalid object");
}

TEST(RequestSign, TextAfterTheObjectIsIgnored) {
    EXPECT_EQ(Sign(R"({"timestamp":"1"} trailing words)").answer, Sign(R"({"timestamp":"1"})").answer);
}

TEST(RequestSign, AThrowingLoggerOrClockNeverEscapes) {
    std::string answer;
    EXPECT_NO_THROW(answer = SignRequest(
                        "{}", "A", []() -> int64_t { throw std::runtime_error("clock"); },
                        [](std::string_view) { throw std::runtime_error("log"); }));
    EXPECT_EQ(answer, "");
}

TEST(RequestTimestamp, CountsMillisecondsFromEightOClockOnNewYear1970) {
    auto at = [](int y, int mo, int d, int h, int mi, int s, int ms) {
        TAppLogTime t;
        t.Year = y;
        t.Month = mo;
        t.Day = d;
        t.Hour = h;
        t.Minute = mi;
        t.Second = s;
        t.Millisecond = ms;
        return LocalTimestampMs(t);
    };
    EXPECT_EQ(at(1970, 1, 1, 8, 0, 0, 0), 0);
    EXPECT_EQ(at(1970, 1, 1, 0, 0, 0, 0), 28800000); // before the origin: absolute difference
    EXPECT_EQ(at(2023, 11, 15, 6, 13, 20, 123), 1700000000123);
    EXPECT_EQ(at(2038, 1, 19, 11, 14, 8, 0), 2147483648000); // past the 32-bit seconds range
    EXPECT_GT(CurrentLocalTimestampMs(), 1600000000000);
}
