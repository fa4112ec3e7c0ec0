#include "foundation/TextCodec.h"

#include <gtest/gtest.h>

TEST(TextCodec, ChineseRoundTripsThroughCodePage936) {
    SetAnsiCodePage(936);
    const std::string utf8 = "\xE4\xB8\xAD\xE6\x96\x87"
                             "abc"; // 中文abc
    const std::string ansi = Utf8ToAnsi(utf8);
    EXPECT_EQ(ansi, std::string("\xD6\xD0\xCE\xC4"
                                "abc"));
    EXPECT_EQ(AnsiToUtf8(ansi), utf8);
}

TEST(TextCodec, UnmappableCharacterBecomesQuestionMark) {
    SetAnsiCodePage(936);
    EXPECT_EQ(Utf8ToAnsi("a\xE0\xB8\x81"
                         "b"),
              "a?b"); // Thai has no GBK form
}

TEST(TextCodec, Utf16SurrogatesAndInvalidUtf8) {
    const std::string emoji = "\xF0\x9F\x98\x80";
    EXPECT_EQ(Utf8ToUtf16(emoji).size(), 2u);
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(emoji)), emoji);
    EXPECT_EQ(Utf8ToUtf16("\xC3"), std::u16string(1, u'\xFFFD'));
    EXPECT_EQ(Utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}
