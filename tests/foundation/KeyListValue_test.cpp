#include "foundation/KeyListValue.h"

#include <gtest/gtest.h>

TEST(KeyListValue, FindsValuesOfDeviceAndRepositoryAnswers) {
    const std::string answer = "version=V6.1.3;taxpayerfile=C:\\QNB\\taxpayer.json;";
    EXPECT_EQ(GetKeyListValue(answer, "version"), "V6.1.3");
    EXPECT_EQ(GetKeyListValue(answer, "taxpayerfile"), "C:\\QNB\\taxpayer.json");
    EXPECT_EQ(GetKeyListValue("Main=Assistant.exe;Exccmd=-x", "Exccmd"), "-x"); // last item, no ";"
    EXPECT_EQ(GetKeyListValue(answer, "missing"), "");
    EXPECT_EQ(GetKeyListValue("", "version"), "");
}

TEST(KeyListValue, ComparesNamesWithoutLetterCaseButKeepsValueCase) {
    EXPECT_EQ(GetKeyListValue("MAIN=Assistant.EXE", "main"), "Assistant.EXE");
    EXPECT_EQ(GetKeyListValue("main=a", "Main"), "a");
    // Names must match whole, not as prefixes.
    EXPECT_EQ(GetKeyListValue("Mainx=a;Main=b", "Main"), "b");
    EXPECT_EQ(GetKeyListValue("Main=a", "Mainx"), "");
}

TEST(KeyListValue, PassesOverEmptyValuesToALaterMatch) {
    EXPECT_EQ(GetKeyListValue("Main=;Main=b.exe;", "Main"), "b.exe");
    EXPECT_EQ(GetKeyListValue("Main=;x=1", "Main"), "");
    EXPECT_EQ(GetKeyListValue("x=1;Main=", "Main"), "");
    EXPECT_EQ(GetKeyListValue("a=1;b=2", "b"), "2");
}

TEST(KeyListValue, SplitsEachItemAtItsFirstEqualsSign) {
    EXPECT_EQ(GetKeyListValue("Exccmd=-a=b;", "Exccmd"), "-a=b");
    // An item without "=" has an empty name and is all value.
    EXPECT_EQ(GetKeyListValue("loose;k=v", ""), "loose");
    EXPECT_EQ(GetKeyListValue("loose;k=v", "loose"), "");
    EXPECT_EQ(GetKeyListValue("=v", ""), "v");
}

TEST(KeyListValue, UnescapesEqualsThenSemicolon) {
    EXPECT_EQ(GetKeyListValue("p=a&eq%b&lim%c;", "p"), "a=b;c");
    EXPECT_EQ(GetKeyListValue("p=&EQ%&Lim%", "p"), "&EQ%&Lim%"); // markers are case-sensitive
    EXPECT_EQ(GetKeyListValue("p=&eq%&eq%&lim%&lim%", "p"), "==;;");
    EXPECT_EQ(GetKeyListValue("p=&eq&lim%", "p"), "&eq;"); // a broken marker stays as it is
}

TEST(KeyListValue, KeepsMultiByteTextIntact) {
    EXPECT_EQ(GetKeyListValue("Nsrmc=测试公司;Nsrsbh=91110000", "nsrmc"), "测试公司");
    EXPECT_EQ(GetKeyListValue("名称=值", "名称"), "值");
}
