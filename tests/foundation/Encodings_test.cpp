#include "foundation/HttpUtils.h"
#include "foundation/KeyValueUtils.h"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(HttpEncode, KeepsOnlyLettersDigitsAndFourMarks) {
    EXPECT_EQ(THttpUtils::HTTPEncode("a b!c"), "a+b%21c");
    EXPECT_EQ(THttpUtils::HTTPEncode("*._-AZaz09"), "*._-AZaz09");
    // Characters the classic form encoder leaves alone must be escaped here.
    EXPECT_EQ(THttpUtils::HTTPEncode("!$'()@"), "%21%24%27%28%29%40");
    EXPECT_EQ(THttpUtils::HTTPEncode("~+/=&%"), "%7E%2B%2F%3D%26%25");
    EXPECT_EQ(THttpUtils::HTTPEncode(""), "");
}

TEST(HttpEncode, EscapesEveryUtf8ByteInUppercase) {
    EXPECT_EQ(THttpUtils::HTTPEncode("\xE4\xB8\xAD"), "%E4%B8%AD"); // 中
    EXPECT_EQ(THttpUtils::HTTPEncode(std::string("a\0b", 3)), "a%00b");
    EXPECT_EQ(THttpUtils::HTTPEncode("\r\n\x7F"), "%0D%0A%7F");
}

TEST(UrlEscape, SpaceFollowsTheFlag) {
    EXPECT_EQ(UrlEscape(" ", false), "%20");
    EXPECT_EQ(UrlEscape(" ", true), "+");
    EXPECT_EQ(UrlEscape("~", false), "%7E");
    EXPECT_EQ(UrlEscape("ab+/=", false), "ab%2B%2F%3D");
    EXPECT_EQ(UrlEscape("-._*", false), "-._%2A");
}

TEST(UrlEscape, WideCharactersGiveTheirCodeNotTheirUtf8Bytes) {
    EXPECT_EQ(UrlEscape("\xC3\xA9", false), "%E9");       // é, one code unit below 0x100
    EXPECT_EQ(UrlEscape("\xC4\x80", false), "%100");      // U+0100: three digits
    EXPECT_EQ(UrlEscape("\xE4\xB8\xAD", false), "%4E2D"); // 中
    EXPECT_EQ(UrlEscape(u"\x0001", false), "%01");
    // A character outside the basic plane is two code units.
    EXPECT_EQ(UrlEscape("\xF0\x9F\x98\x80", false), "%D83D%DE00");
}

TEST(KeyValueList, CaseSensitiveSortIsOrdinal) {
    TKeyValueList list;
    list.Add("b", "2");
    list.Add("B", "1");
    list.Add("a", "3");
    list.SetCaseSensitive(true);
    list.Sort();
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.Strings(0), "B");
    EXPECT_EQ(list.Strings(1), "a");
    EXPECT_EQ(list.Strings(2), "b");
    EXPECT_EQ(list.GetValue(0), "1");
    EXPECT_EQ(list.GetValue(2), "2");
}

TEST(KeyValueList, OrdinalOrderIsUtf16NotCodePoint) {
    TKeyValueList list;
    list.SetCaseSensitive(true);
    list.Add("\xEF\xBC\xA1", "fullwidth"); // U+FF21
    list.Add("\xF0\x9F\x98\x80", "emoji"); // U+1F600 = D83D DE00, sorts before U+FF21
    list.Add("ab", "ab");
    list.Add("a", "a");
    list.Sort();
    EXPECT_EQ(list.GetValue(0), "a");
    EXPECT_EQ(list.GetValue(1), "ab");
    EXPECT_EQ(list.GetValue(2), "emoji");
    EXPECT_EQ(list.GetValue(3), "fullwidth");
}

TEST(KeyValueList, CaseInsensitiveFoldsOnlyAsciiLetters) {
    TKeyValueList list;
    EXPECT_FALSE(list.CaseSensitive());
    EXPECT_EQ(list.CompareStrings("abc", "ABC"), 0);
    EXPECT_LT(list.CompareStrings("a", "B"), 0);
    // "_" lies between "Z" and "a": folding moves lower-case letters below it.
    EXPECT_LT(list.CompareStrings("a", "_"), 0);
    EXPECT_NE(list.CompareStrings("\xC3\xA9", "\xC3\x89"), 0); // é vs É stay distinct
    list.SetCaseSensitive(true);
    EXPECT_GT(list.CompareStrings("a", "_"), 0);
    EXPECT_LT(list.CompareStrings("Z", "a"), 0);
    EXPECT_GT(list.CompareStrings("abc", "ab"), 0);
}

TEST(KeyValueList, DuplicatesStayAndPlainEntriesHaveNoValue) {
    TKeyValueList list;
    list.Add("k", "1");
    list.Add("k", "2");
    const int plain = list.AddString("p");
    list.Insert(0, "q");
    ASSERT_EQ(list.Count(), 4);
    EXPECT_EQ(list.GetValue(plain + 1), "");
    EXPECT_EQ(list.Objects(0), nullptr);
    EXPECT_EQ(list.GetValue(0), "");
    EXPECT_EQ(list.IndexOf("K"), 1);
    list.SetCaseSensitive(true);
    list.Sort();
    EXPECT_EQ(list.GetValue(0), "1"); // stable for equal keys
    EXPECT_EQ(list.GetValue(1), "2");
    EXPECT_THROW(list.GetValue(4), std::out_of_range);
    EXPECT_THROW(list.GetValue(-1), std::out_of_range);
    EXPECT_THROW(list.Insert(6, "x"), std::out_of_range);
}
