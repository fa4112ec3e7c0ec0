#include "host/HandoverRules.h"

#include <gtest/gtest.h>

TEST(HandoverRunMode, KeyMayHideInsideOneParameterButNotAcrossTwo) {
    EXPECT_TRUE(JoinedParamsHaveQnbRunMode({"a", "RunMode=QNB"}));
    EXPECT_TRUE(JoinedParamsHaveQnbRunMode({"x-runmode=qnbz"}));
    EXPECT_FALSE(JoinedParamsHaveQnbRunMode({"runmode=", "qnb"}));
    EXPECT_FALSE(JoinedParamsHaveQnbRunMode({}));
}

TEST(HandoverVersions, ParseVersionTextNeedsVAndThreePieces) {
    TVersionTriple v{9, 9, 9};
    EXPECT_TRUE(ParseVersionText("V6.1.3", v));
    EXPECT_EQ(v.Major, 6);
    EXPECT_EQ(v.Minor, 1);
    EXPECT_EQ(v.Build, 3);
    EXPECT_TRUE(ParseVersionText("v2.x.7.9", v)); // a bad piece reads 0, a fourth is ignored
    EXPECT_EQ(v.Major, 2);
    EXPECT_EQ(v.Minor, 0);
    EXPECT_EQ(v.Build, 7);
    EXPECT_TRUE(ParseVersionText("V..", v));
    EXPECT_EQ(v.Major, 0);
    EXPECT_TRUE(ParseVersionText("V-1.99999999999.+4", v));
    EXPECT_EQ(v.Major, -1);
    EXPECT_EQ(v.Minor, 0);
    EXPECT_EQ(v.Build, 4);
    v = TVersionTriple{5, 5, 5};
    for (const char* bad : {"6.1.3", "V6.1", "V", "", " V6.1.3"}) {
        EXPECT_FALSE(ParseVersionText(bad, v)) << bad;
        EXPECT_EQ(v.Major, 5) << bad; // left alone
    }
}

TEST(HandoverVersions, EachNumberIsComparedOnItsOwn) {
    EXPECT_TRUE(EachPartAtLeast({6, 1, 3}, 6, 1, 3));
    EXPECT_TRUE(EachPartAtLeast({7, 2, 4}, 6, 1, 3));
    EXPECT_FALSE(EachPartAtLeast({7, 0, 5}, 6, 1, 3));
    EXPECT_FALSE(EachPartAtLeast({6, 0, 9}, 6, 1, 3));
    EXPECT_TRUE(EachPartAtLeast({2, 1, 1}, 2, 1, 1));
    EXPECT_FALSE(EachPartAtLeast({3, 0, 5}, 2, 1, 1));
    EXPECT_STREQ(LogBool(true), "-1");
    EXPECT_STREQ(LogBool(false), "0");
}

TEST(HandoverEnvironment, AreaAndApplicationFromTheEnvironmentFile) {
    const TEnviParams p = ReadEnviParams(R"({"EnviParams":{"areaCode":"130100","appID":"hb_qelt_dwin"}})");
    EXPECT_EQ(p.AreaCode, "130100");
    EXPECT_TRUE(AreaAndAppAllowAssistant(p.AreaCode, p.AppID));
    EXPECT_FALSE(AreaAndAppAllowAssistant("1", "HB_QELT_DWIN"));
    EXPECT_FALSE(AreaAndAppAllowAssistant("440100", "HB_QELT_DWIN"));
    EXPECT_FALSE(AreaAndAppAllowAssistant("130100", "GD_QELT_DWIN"));
    EXPECT_EQ(ReadEnviParams(R"({"EnviParams":{"areacode":"13","appID":5}})").AreaCode, "");
    // A number reads as its printed text; a UTF-16 file reads like any other.
    const std::u16string wide = u"\xFEFF{\"EnviParams\":{\"areaCode\":130100,\"appID\":\"HB_QELT_DWIN\"}}";
    const TEnviParams utf16 =
        ReadEnviParams(std::string_view(reinterpret_cast<const char*>(wide.data()), wide.size() * 2));
    EXPECT_EQ(utf16.AreaCode, "130100");
    EXPECT_TRUE(AreaAndAppAllowAssistant(utf16.AreaCode, utf16.AppID));
    EXPECT_EQ(ReadEnviParams("not json").AppID, "");
    EXPECT_TRUE(SameTextIgnoringCase("gd_QELT_dwin", kBrevAppId));
}

TEST(HandoverTaxpayerFile, FirstTaxpayerNumber) {
    TTaxpayerFileAnswer a = FirstTaxpayerOf(R"({"taxpayers":[{"nsrsbh":"91130100X"},{"nsrsbh":"2"}]})");
    EXPECT_EQ(a.State, TTaxpayerFileState::Found);
    EXPECT_EQ(a.Nsrsbh, "91130100X");
    EXPECT_EQ(FirstTaxpayerOf(R"({"taxpayers":[]})").State, TTaxpayerFileState::NoTaxpayers);
    EXPECT_EQ(FirstTaxpayerOf(R"({"taxpayers":[{"nsrsbh":"   "}]})").State, TTaxpayerFileState::Blank);
    EXPECT_EQ(FirstTaxpayerOf(R"({"taxpayers":[{}]})").State, TTaxpayerFileState::Blank);
    EXPECT_EQ(FirstTaxpayerOf(R"({"taxpayers":{"nsrsbh":"1"}})").State, TTaxpayerFileState::Unreadable);
    EXPECT_EQ(FirstTaxpayerOf(R"({"taxpayers":["1"]})").State, TTaxpayerFileState::Unreadable);
    EXPECT_EQ(FirstTaxpayerOf("[]").State, TTaxpayerFileState::Unreadable);
    EXPECT_EQ(FirstTaxpayerOf("").State, TTaxpayerFileState::Unreadable);
}

TEST(HandoverAssistant, ArgumentTextKeepsItsTwoBlanks) {
    EXPECT_EQ(AssistantArguments("-x", {"a", "runmode=qnb"}), "-x LaunchedByQNB  a runmode=qnb");
    EXPECT_EQ(AssistantArguments("", {"runmode=qnb"}), "LaunchedByQNB  runmode=qnb");
    EXPECT_EQ(AssistantArguments("", {}), "LaunchedByQNB ");
}
