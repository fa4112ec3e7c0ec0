#include "foundation/Json.h"
#include "foundation/TextCodec.h"
#include "host/HostConfig.h"
#include "host/HostServices.h"
#include "host/StartTimes.h"
#include "support/ServiceFakes.h"

#include <gtest/gtest.h>

#include <map>

namespace {

JsonRef Parse(const char* text) {
    JsonRef v = ParseJson(text);
    EXPECT_TRUE(v) << text;
    return v;
}

TEST(RunModes, QnbKeyIsFoundInAnyCaseInsideOtherText) {
    EXPECT_TRUE(ParseRunModes({"--x", "abcRunMode=QNBdef"}).IsRunInQNB);
    EXPECT_FALSE(ParseRunModes({"runmode=", "qnb"}).IsRunInQNB);
    EXPECT_FALSE(ParseRunModes({}).IsRunInQNB);
}

TEST(RunModes, HelpIsOnlySetByAParameterWithoutTheQnbKey) {
    TRunModes both = ParseRunModes({"runmode=qnb;needopenhelp"});
    EXPECT_TRUE(both.IsRunInQNB);
    EXPECT_FALSE(both.NeedOpenHelp);
    TRunModes separate = ParseRunModes({"runmode=qnb", "NeedOpenHelp"});
    EXPECT_TRUE(separate.IsRunInQNB);
    EXPECT_TRUE(separate.NeedOpenHelp);
}

TEST(ConfigText, ByteOrderMarksDecideAndPlainBytesAreUtf8OrAnsi) {
    EXPECT_EQ(DecodeConfigText("\xEF\xBB\xBF{\"a\":1}"), "{\"a\":1}");
    EXPECT_EQ(DecodeConfigText(std::string("\xFF\xFE{\0\"\0", 6)), "{\"");
    EXPECT_EQ(DecodeConfigText(std::string("\xFE\xFF\0{\0\"", 6)), "{\"");
    EXPECT_EQ(DecodeConfigText(u8"{\"n\":\"中文\"}"), u8"{\"n\":\"中文\"}");
    // The same text in code page 936 is not valid UTF-8, so it is read as ANSI.
    EXPECT_EQ(DecodeConfigText(Utf8ToAnsi(u8"{\"n\":\"中文\"}")), u8"{\"n\":\"中文\"}");
    EXPECT_EQ(DecodeConfigText(""), "");
}

TEST(ConfigValue, SectionAndKeyMatchInAnyCaseAndBlankValuesFallBack) {
    JsonRef doc = Parse(R"({"other":{"AppID":"no"},"enviPARAMS":{"appid":"  QNB_1 ","Empty":"   "}})");
    EXPECT_EQ(CfgValueFromJson(doc, "EnviParams", "AppID", "def"), "QNB_1");
    EXPECT_EQ(CfgValueFromJson(doc, "EnviParams", "empty", "def"), "def");
    EXPECT_EQ(CfgValueFromJson(doc, "EnviParams", "missing", "def"), "def");
    EXPECT_EQ(CfgValueFromJson(doc, "Missing", "AppID", "def"), "def");
    EXPECT_EQ(CfgValueFromJson(nullptr, "EnviParams", "AppID", "def"), "def");
}

TEST(ConfigValue, NonTextValuesAreReadAsTextAndNonObjectSectionsGiveTheDefault) {
    JsonRef doc = Parse(R"({"S":{"n":42,"b":true},"T":"flat","U":[1,2]})");
    EXPECT_EQ(CfgValueFromJson(doc, "s", "N", ""), "42");
    EXPECT_EQ(CfgValueFromJson(doc, "s", "b", ""), "true");
    EXPECT_EQ(CfgValueFromJson(doc, "T", "x", "d"), "d");
    EXPECT_EQ(CfgValueFromJson(doc, "U", "0", "d"), "d");
    EXPECT_EQ(CfgValueFromJson(Parse("[1]"), "S", "n", "d"), "d");
}

TEST(AppIdResolution, EnvironmentFileThenManifestThenDefault) {
    JsonRef manifest = Parse(R"({"AppID":"FromManifest"})");
    EXPECT_EQ(ResolveAppId("FromEnvi", manifest), "FromEnvi");
    EXPECT_EQ(ResolveAppId("", manifest), "FromManifest");
    EXPECT_EQ(ResolveAppId("   ", manifest), "FromManifest");
    EXPECT_EQ(ResolveAppId("", Parse(R"({"AppID":"  "})")), kDefaultAppId);
    EXPECT_EQ(ResolveAppId("", Parse(R"({"other":1})")), "ZRAppFrameWork");
    EXPECT_EQ(ResolveAppId("", nullptr), "ZRAppFrameWork");
    EXPECT_EQ(ResolveAppId("", Parse("\"text\"")), "ZRAppFrameWork");
}

TEST(ExtendModules, MembersNameALibraryAndTheFunctionAfterTheFirstDot) {
    JsonRef manifest = Parse(R"({"extendModule":{"Modules":{
        "a":"LibA.InitA", "b":"LibB.Init.More", "c":"NoDot", "":"Skip.Me", "d":"LibD.  Padded  ",
        "e":17}}})");
    std::map<std::string, TExtModuleSpec> byName;
    for (const TExtModuleSpec& s : ParseExtendModules(manifest, "C:\\prog\\"))
        byName[s.Name] = s;
    ASSERT_EQ(byName.size(), 3u);
    EXPECT_EQ(byName["a"].DllPath, "C:\\prog\\LibA.dll");
    EXPECT_EQ(byName["a"].FunName, "InitA");
    EXPECT_EQ(byName["b"].DllPath, "C:\\prog\\LibB.dll");
    EXPECT_EQ(byName["b"].FunName, "Init.More");
    EXPECT_EQ(byName["d"].FunName, "Padded");
}

TEST(ExtendModules, FunctionNameIsCutAtOneHundredCharacters) {
    const std::string longName(150, 'f');
    JsonRef manifest = NewJsonObject();
    JsonRef ext = NewJsonObject();
    JsonRef modules = NewJsonObject();
    modules->PutS("m", "Lib." + longName);
    modules->PutS(u8"中", u8"库." + std::string(99, 'g') + u8"文字");
    ext->PutO("Modules", modules);
    manifest->PutO("extendModule", ext);
    std::map<std::string, TExtModuleSpec> byName;
    for (const TExtModuleSpec& s : ParseExtendModules(manifest, "P\\"))
        byName[s.Name] = s;
    ASSERT_EQ(byName.size(), 2u);
    EXPECT_EQ(byName["m"].FunName, std::string(100, 'f'));
    EXPECT_EQ(byName[u8"中"].FunName, std::string(99, 'g') + u8"文");
    EXPECT_EQ(byName[u8"中"].DllPath, u8"P\\库.dll");
}

TEST(ExtendModules, MissingOrMisshapenSectionsLoadNothing) {
    EXPECT_TRUE(ParseExtendModules(nullptr, "P\\").empty());
    EXPECT_TRUE(ParseExtendModules(Parse(R"({"AppID":"x"})"), "P\\").empty());
    EXPECT_TRUE(ParseExtendModules(Parse(R"({"extendModule":{"modules":{"a":"L.F"}}})"), "P\\").empty());
    EXPECT_TRUE(ParseExtendModules(Parse(R"({"extendModule":{"Modules":["L.F"]}})"), "P\\").empty());
    EXPECT_TRUE(ParseExtendModules(Parse(R"({"extendModule":"L.F"})"), "P\\").empty());
}

TEST(HostTexts, TaxCalendarRequestTakesTheFirstFourCharactersOfTheAreaCode) {
    JsonRef obj = ParseJson(TaxCalendarJson("44030512"));
    ASSERT_TRUE(obj);
    EXPECT_EQ(obj->GetS("areaCode"), "4403");
    EXPECT_EQ(obj->GetS("yhlx"), "0");
    EXPECT_EQ(obj->GetS("taxType"), "001");
    EXPECT_EQ(obj->GetS("ywlx"), "008");
    EXPECT_EQ(obj->Keys().size(), 11u);
    EXPECT_EQ(ParseJson(TaxCalendarJson("44"))->GetS("areaCode"), "44");
    EXPECT_EQ(ParseJson(TaxCalendarJson(u8"广东省深圳市"))->GetS("areaCode"), u8"广东省深");
}

TEST(HostTexts, TaxCalendarAddressIsThePrefixAndAnEscapedCipherText) {
    const std::string url = TaxCalendarURL(kDefaultTaxCalendarHost, "4403");
    ASSERT_EQ(url.rfind(kDefaultTaxCalendarHost, 0), 0u);
    const std::string rest = url.substr(std::string(kDefaultTaxCalendarHost).size());
    EXPECT_FALSE(rest.empty());
    EXPECT_EQ(rest.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789%"),
              std::string::npos);
    EXPECT_EQ(std::string(kDefaultTaxCalendarHost).substr(std::string(kDefaultTaxCalendarHost).size() - 16),
              "client.php?qelt=");
}

TEST(ControlParamBool, NumbersAndWordsAsTheConfigurationKeepsThem) {
    EXPECT_TRUE(ControlParamToBool("1"));
    EXPECT_TRUE(ControlParamToBool("-2"));
    EXPECT_TRUE(ControlParamToBool("0.5"));
    EXPECT_FALSE(ControlParamToBool("0"));
    EXPECT_FALSE(ControlParamToBool("0.0"));
    EXPECT_TRUE(ControlParamToBool("TRUE"));
    EXPECT_TRUE(ControlParamToBool("tRuE"));
    EXPECT_FALSE(ControlParamToBool("False"));
    EXPECT_FALSE(ControlParamToBool("yes"));
    EXPECT_FALSE(ControlParamToBool(""));
    EXPECT_FALSE(ControlParamToBool("1x"));
}

TEST(ConfigNumbers, SplashWaitTextsThatAreNotWholeNumbersGiveTheDefault) {
    EXPECT_EQ(StrToIntDef("1001", 0), 1001);
    EXPECT_EQ(StrToIntDef("  25", 0), 25);
    EXPECT_EQ(StrToIntDef("-5", 0), -5);
    EXPECT_EQ(StrToIntDef("-2147483648", 0), INT32_MIN);
    EXPECT_EQ(StrToIntDef("2147483648", 0), 0);
    EXPECT_EQ(StrToIntDef("99999999999999999999", 7), 7);
    EXPECT_EQ(StrToIntDef("12ms", 0), 0);
    EXPECT_EQ(StrToIntDef("", 3), 3);
    EXPECT_EQ(StrToIntDef("-", 3), 3);
    EXPECT_EQ(StrToIntDef("1.5", 0), 0);
}

TEST(HostCipher, TextRoundTripsThroughTheHostKeyAndBadCipherTextGivesEmpty) {
    const std::string plain = u8"产品Key-123";
    const std::string hex = HostEncryptString(plain);
    EXPECT_FALSE(hex.empty());
    EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(HostDecryptString(hex), plain);
    EXPECT_EQ(HostDecryptString("not hex"), "");
    EXPECT_EQ(HostDecryptString("ABC"), "");
    EXPECT_EQ(HostDecryptString(hex.substr(0, hex.size() - 2)), "");
}

TEST(HostCipher, EncryptedParametersAreDecryptedOrEmpty) {
    TFakeControlParams fw;
    fw.Values["DyncConfig/DyncParams/ProductKey"] = HostEncryptString("secret");
    fw.Values["DyncConfig/MsgCenter/ProductKey"] = "ZZZZ";
    EXPECT_EQ(ReadEncryptedParam(fw, "DyncConfig", "DyncParams", "ProductKey"), "secret");
    EXPECT_EQ(ReadEncryptedParam(fw, "DyncConfig", "MsgCenter", "ProductKey"), "");
    EXPECT_EQ(ReadEncryptedParam(fw, "DyncConfig", "None", "ProductKey"), "");
}

TEST(StartTimesRecord, LoadTimeIsStoredOnceAndSurvivesTickWrap) {
    TStartTimes t;
    t.StartTick = 0xFFFFFF00u;
    EXPECT_EQ(t.Since(0x100u), 0x200u);
    EXPECT_TRUE(t.StoreLoadTimeOnce(0x100u));
    EXPECT_FALSE(t.StoreLoadTimeOnce(0x500u));
    EXPECT_EQ(t.LoadTime.load(), 0x200u);
}

} // namespace
