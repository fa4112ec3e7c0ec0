// The host's event and message rules that need no window.
#include "host/HostMessages.h"

#include "foundation/TextCodec.h"
#include "support/FakeAppContext.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(MainFormEventKinds, EventTypesAndNamesSelectTheHandling) {
    EXPECT_EQ(ClassifyMainFormEvent(8, "sys.test"), TMainEventKind::Ignored);
    EXPECT_EQ(ClassifyMainFormEvent(2, "x.y"), TMainEventKind::Popup);
    EXPECT_EQ(ClassifyMainFormEvent(3, ""), TMainEventKind::PageLoaded);
    EXPECT_EQ(ClassifyMainFormEvent(1, "sys.Enc"), TMainEventKind::PageCall);
    // A named notification with a dot is a page call, not a notification.
    EXPECT_EQ(ClassifyMainFormEvent(9, "msg.SynFetchMsg"), TMainEventKind::PageCall);
    EXPECT_EQ(ClassifyMainFormEvent(10, "sys.test"), TMainEventKind::PageCall);
    EXPECT_EQ(ClassifyMainFormEvent(9, "OpenLogin"), TMainEventKind::OpenLogin);
    EXPECT_EQ(ClassifyMainFormEvent(9, "openlogin"), TMainEventKind::Nothing);
    EXPECT_EQ(ClassifyMainFormEvent(9, "getMsg"), TMainEventKind::Nothing);
    EXPECT_EQ(ClassifyMainFormEvent(10, "appKey"), TMainEventKind::AppKey);
    EXPECT_EQ(ClassifyMainFormEvent(10, "AppKey"), TMainEventKind::EmptyRequest);
    EXPECT_EQ(ClassifyMainFormEvent(1, "noDot"), TMainEventKind::Nothing);
}

TLoginHandOver Check(const std::string& block) {
    return CheckLoginHandOver(block.data(), block.size());
}

TEST(LoginHandOver, EachMissingPieceHasItsOwnResult) {
    EXPECT_EQ(Check(std::string("not json", 9)).Code, kHandOverNotJson);
    EXPECT_EQ(Check(std::string("", 1)).Code, kHandOverNotJson);
    EXPECT_EQ(Check(std::string(R"({"loginInfo":{"accountId":"a"}})", 32)).Code, kHandOverNoToken);
    EXPECT_EQ(Check(std::string(R"({"token":"","loginInfo":{"accountId":"a"}})", 43)).Code, kHandOverNoToken);
    EXPECT_EQ(Check(std::string(R"({"token":"t"})", 14)).Code, kHandOverNoLoginInfo);
    EXPECT_EQ(Check(std::string(R"({"token":"t","loginInfo":{}})", 29)).Code, kHandOverNoAccountId);
    EXPECT_EQ(Check(std::string(R"({"token":"t","loginInfo":{"accountId":""}})", 43)).Code,
              kHandOverNoAccountId);
    const TLoginHandOver good = Check(std::string(R"({"token":"t","loginInfo":{"accountId":"a"}})", 44));
    EXPECT_EQ(good.Code, 0);
    EXPECT_EQ(good.TextAnsi, R"({"token":"t","loginInfo":{"accountId":"a"}})");
}

TEST(LoginHandOver, AMissingBlockIsNotJson) {
    EXPECT_EQ(CheckLoginHandOver(nullptr, 40).Code, kHandOverNotJson);
    const char text[] = R"({"token":"t"})";
    EXPECT_EQ(CheckLoginHandOver(text, 0).Code, kHandOverNotJson);
}

TEST(LoginHandOver, TheTextEndsAtItsFirstZeroByteAndNeverBeyondTheBlock) {
    const std::string withTail =
        std::string(R"({"token":"t","loginInfo":{"accountId":"a"}})") + '\0' + "garbage";
    const TLoginHandOver tail = Check(withTail);
    EXPECT_EQ(tail.Code, 0);
    EXPECT_EQ(tail.TextAnsi, R"({"token":"t","loginInfo":{"accountId":"a"}})");

    // No zero byte inside the block: only the block's bytes count. The text cut by the block's
    // size is no longer complete JSON, though the bytes after it would have completed it.
    const std::string whole = R"({"token":"t","loginInfo":{"accountId":"a"}})";
    const TLoginHandOver cut = CheckLoginHandOver(whole.data(), whole.size() - 1);
    EXPECT_EQ(cut.Code, kHandOverNotJson);
    EXPECT_EQ(cut.TextAnsi.size(), whole.size() - 1);
    const TLoginHandOver exact = CheckLoginHandOver(whole.data(), whole.size());
    EXPECT_EQ(exact.Code, 0);
}

TEST(LoginHandOver, ChineseTextInTheCodePageIsRead) {
    const std::string block = Utf8ToAnsi(R"({"token":"令牌","loginInfo":{"accountId":"账号"}})") + '\0';
    const TLoginHandOver result = Check(block);
    EXPECT_EQ(result.Code, 0);
    EXPECT_EQ(AnsiToUtf8(result.TextAnsi), R"({"token":"令牌","loginInfo":{"accountId":"账号"}})");
}

TEST(AppKey, TheTimeStampCountsFromEightOClockOnNewYearsDay1970) {
    constexpr int64_t kEight = 8LL * 3600 * 1000;
    EXPECT_EQ(AppKeyTimeStamp(kEight), 0);
    // On a machine in UTC+8 the local wall clock is 8 hours ahead: the stamp is Unix time.
    EXPECT_EQ(AppKeyTimeStamp(1700000000000LL + kEight), 1700000000000LL);
    // Before that moment the difference is taken without its sign.
    EXPECT_EQ(AppKeyTimeStamp(kEight - 1500), 1500);
}

TEST(AppKey, TheAnswerHasItsExactTextAndDigest) {
    EXPECT_EQ(AppKeyText("1700000000000", "P001", "secret"),
              R"({"timeStamp": "1700000000000", "appKey":"31569D87BE34F09189FDAC792B951D860E077954", )"
              R"("ProductCode":"P001"})");
    // Without a product key the digest covers the id and the time stamp only.
    EXPECT_EQ(AppKeyText("1700000000000", "P001", ""),
              R"({"timeStamp": "1700000000000", "appKey":"4B71AC519A283032F4CA8368A298325E95F4C5A4", )"
              R"("ProductCode":"P001"})");
}

TEST(HostEventTexts, PopupAddressLoginReportAndTrueText) {
    EXPECT_EQ(PopupFormUrl("https://h/pop.html", "AB12"), "https://h/pop.html?url=AB12");
    EXPECT_EQ(LoginFormReport(2, 0, ""), "iRet=2 count=0 ");
    EXPECT_EQ(LoginFormReport(-1, 2, R"({"a":1})"), R"(iRet=-1 count=2 {"a":1})");
    EXPECT_TRUE(IsTrueText("true"));
    EXPECT_TRUE(IsTrueText("TRUE"));
    EXPECT_TRUE(IsTrueText("True"));
    EXPECT_FALSE(IsTrueText("true "));
    EXPECT_FALSE(IsTrueText("1"));
    EXPECT_FALSE(IsTrueText(""));
}

class TRecordingPort final : public IDispatchPort {
public:
    struct TAnswer {
        int32_t WebId;
        int32_t CallerNo;
        std::string Text;
    };
    std::vector<TAnswer> Answers;
    TFwRef<IAppContext> GetAppContext() override { return TFwRef<IAppContext>(TFakeAppContext::Create()); }
    void AppendParams(IJsCallerInf&, const TVarArgs&) override {}
    bool CallJsFunction(int32_t webId, int32_t callerNo, const std::string& answer) override {
        Answers.push_back({webId, callerNo, answer});
        return true;
    }
    bool CallRegisterFun(const std::string&, const TVarArgs&) override { return false; }
    void WriteLog(const std::string&) override {}
};

TEST(PageCallAnswers, ASyncAnswerGoesToTheCallerOrIntoTheReturnText) {
    TRecordingPort port;
    TFakeAppContext* withCaller = TFakeAppContext::Create(7, 1234);
    TCallerContextPtr context = TCallerContext::Create(withCaller);
    context->FRetValue = "答案";
    EXPECT_EQ(AnswerPageCall(CLSync, *context, port), TPageAnswer::ByCaller);
    ASSERT_EQ(port.Answers.size(), 1u);
    EXPECT_EQ(port.Answers[0].WebId, 1234);
    EXPECT_EQ(port.Answers[0].CallerNo, 7);
    EXPECT_EQ(port.Answers[0].Text, "答案");
    EXPECT_EQ(withCaller->ResultText(), "");
    context.Reset();
    withCaller->Release();

    TFakeAppContext* noCaller = TFakeAppContext::Create(0, 1234);
    context = TCallerContext::Create(noCaller);
    context->FRetValue = "答案";
    EXPECT_EQ(AnswerPageCall(CLSync, *context, port), TPageAnswer::ReturnText);
    EXPECT_EQ(port.Answers.size(), 1u);
    EXPECT_EQ(noCaller->ResultText(), Utf8ToAnsi("答案"));
    context.Reset();
    noCaller->Release();
}

TEST(PageCallAnswers, FailedAndBackgroundCallsAreNotAnsweredHere) {
    TRecordingPort port;
    TFakeAppContext* raw = TFakeAppContext::Create(7, 1234);
    TCallerContextPtr context = TCallerContext::Create(raw);
    context->FRetValue = "left over";
    EXPECT_EQ(AnswerPageCall(CLError, *context, port), TPageAnswer::None);
    EXPECT_EQ(AnswerPageCall(CLAsync, *context, port), TPageAnswer::None);
    EXPECT_TRUE(port.Answers.empty());
    EXPECT_EQ(raw->ResultText(), "");
    context.Reset();
    raw->Release();
}

TEST(OwnedPointers, OnlyRegisteredPointersAreAcceptedAndEachOnlyOnce) {
    TOwnedPointers registry;
    int a = 0, b = 0;
    registry.Add(&a);
    registry.Add(nullptr);
    EXPECT_TRUE(registry.Contains(&a));
    EXPECT_FALSE(registry.Contains(&b));
    EXPECT_FALSE(registry.Contains(nullptr));
    EXPECT_EQ(registry.Count(), 1u);
    EXPECT_FALSE(registry.Remove(&b));
    EXPECT_TRUE(registry.Remove(&a));
    EXPECT_FALSE(registry.Remove(&a));
    EXPECT_EQ(registry.Count(), 0u);
}

} // namespace
