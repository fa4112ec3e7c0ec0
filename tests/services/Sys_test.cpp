#include "actions/ActionRegistry.h"
#include "foundation/Crypto.h"
#include "foundation/Json.h"
#include "foundation/TextCodec.h"
#include "host/HostFramework.h"
#include "host/StartTimes.h"
#include "services/Sys.h"
#include "support/FakeAppContext.h"
#include "support/ServiceFakes.h"

#include <gtest/gtest.h>

#include <map>

namespace {

class SysService : public ::testing::Test {
protected:
    void SetUp() override {
        FRegistry.InitAllModules({&SysServiceClass()});
        FRegistry.SetTaskRunner(&FRunner);
        SetHostFramework(&FFramework);
    }
    void TearDown() override { SetHostFramework(nullptr); }

    // A page call without a callback; the answer, or "<error>" when nothing is to be answered.
    std::string Call(const std::string& action, const std::vector<std::string>& utf8Params,
                     int32_t callerNo = 0) {
        TFwRef<IAppContext> raw(TFakeAppContext::Create(callerNo, 7));
        for (const std::string& p : utf8Params)
            raw->GetParams()->AddStrParam(jptText, Utf8ToAnsi(p).c_str());
        TCallerContextPtr ctx = TCallerContext::Create(raw.Get());
        const TCurrentCallerType r = FRegistry.CallActionFun(action, ctx);
        if (r == CLAsync) return "<async>";
        return r == CLSync ? ctx->FRetValue.Get() : "<error>";
    }

    TNoPort FPort;
    TNoFiles FFiles;
    TKeepTasks FRunner;
    TFakeControlParams FFramework;
    TActionRegistry FRegistry{FPort, FFiles};
};

TEST_F(SysService, EncThenDecGivesBackTheText) {
    const std::string plain = u8"纳税人 abc-123";
    const std::string hex = Call("sys.Enc", {plain});
    ASSERT_FALSE(hex.empty());
    EXPECT_EQ(hex, AesEncryptHex(Utf8ToAnsi(plain), kSysCipherKey, 0));
    EXPECT_EQ(Call("sys.Dec", {hex}), plain);
}

TEST_F(SysService, EncAndDecAnswerEmptyForMissingOrBadInput) {
    EXPECT_EQ(Call("sys.Enc", {}), "");
    EXPECT_EQ(Call("sys.Dec", {}), "");
    EXPECT_EQ(Call("sys.Dec", {"XYZ"}), "");
    EXPECT_EQ(Call("sys.Dec", {"0A"}), "");
    // A host-key cipher text is not readable with the service key.
    const std::string otherKey = AesEncryptHex("hello", kHostCipherKey, 0);
    EXPECT_NE(Call("sys.Dec", {otherKey}), "hello");
}

TEST_F(SysService, MethodNamesBehindExportsAreNotCallable) {
    EXPECT_EQ(Call("sys.EncryptStr", {"x"}), "<error>");
    EXPECT_EQ(Call("sys.DecryptStr", {"x"}), "<error>");
    EXPECT_EQ(Call("sys.enc", {"x"}), "<error>");
    EXPECT_EQ(Call("sys.InitEnvironment", {}), "<error>");
}

TEST_F(SysService, PageActionsWithACallbackGoToTheRunner) {
    EXPECT_EQ(Call("sys.Enc", {"x"}, 5), "<async>");
    EXPECT_EQ(Call("sys.A2", {"{}"}, 6), "<async>");
    EXPECT_EQ(Call("sys.test", {}, 7), "<async>");
    EXPECT_EQ(FRunner.Methods, (std::vector<std::string>{"EncryptStr", "A2", "test"}));
}

TEST_F(SysService, ProbeAndTimings) {
    EXPECT_EQ(Call("sys.test", {"anything"}), u8"这是Test的返回值");
    StartTimes().LoadTime = 1234;
    StartTimes().InitTime = 56;
    EXPECT_EQ(Call("sys.Status", {"loadtime"}), "1234");
    EXPECT_EQ(Call("sys.Status", {"INITTIME"}), "56");
    EXPECT_EQ(Call("sys.Status", {"Other"}), "0");
    EXPECT_EQ(Call("sys.Status", {}), "0");
    StartTimes().Reset();
    EXPECT_EQ(Call("sys.Status", {"LoadTime"}), "0");
}

TEST_F(SysService, A2SignsWithTheConfiguredProductCode) {
    FFramework.Values["DyncConfig/DyncParams/ProductCode"] = "PC01";
    const std::string answer =
        Call("sys.A2",
             {R"({"params":[{"key":"b","value":"2"},{"key":"A","value":"1"}],"body":"","timestamp":"100"})"});
    JsonRef obj = ParseJson(answer);
    ASSERT_TRUE(obj) << answer;
    EXPECT_EQ(obj->GetS("appId"), "PC01");
    EXPECT_EQ(obj->GetS("timestamp"), "100");
    // Key order A, appId, appSecret, b, timestamp; values only.
    EXPECT_EQ(obj->GetS("appkey"), Sha1HexUpper("1PC01Xq7Lmw2Tzk2100"));
    EXPECT_EQ(answer.find("Xq7Lmw2Tzk"), std::string::npos);
}

TEST_F(SysService, A2FailuresAnswerEmptyAndEndWithTheExitLineInTheMainLog) {
    const std::string exitLine = u8"退出TAppAction.HttpRequest.";
    EXPECT_EQ(Call("sys.A2", {}), "");
    EXPECT_TRUE(FFramework.Log.empty());

    EXPECT_EQ(Call("sys.A2", {"[1,2]"}), "");
    ASSERT_EQ(FFramework.Log.size(), 2u);
    EXPECT_EQ(FFramework.Log[0].rfind(u8"[TAppAction.HttpRequest] 异常. ", 0), 0u) << FFramework.Log[0];
    EXPECT_EQ(FFramework.Log[1], exitLine);

    FFramework.Log.clear();
    FFramework.Failing.insert("DyncConfig/DyncParams/ProductCode");
    EXPECT_EQ(Call("sys.A2", {"{}"}), "");
    EXPECT_EQ(
        FFramework.Log,
        (std::vector<std::string>{
            u8"[TAppAction.HttpRequest] 异常. cannot read DyncConfig/DyncParams/ProductCode", exitLine}));
}

} // namespace
