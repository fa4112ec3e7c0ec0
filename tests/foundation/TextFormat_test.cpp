#include "foundation/TextFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

TEST(FormatText, SubstitutesTextAndIntegersInOrder) {
    EXPECT_EQ(
        FormatText("CallJsFunction iCallerNo=%d Result =%s", {TVarRec::Integer(7), TVarRec::Text("-1")}),
        "CallJsFunction iCallerNo=7 Result =-1");
    EXPECT_EQ(FormatText("收到Restore%d，返回：%d", {TVarRec::Int64(-5), TVarRec::Integer(66)}),
              "收到Restore-5，返回：66");
    EXPECT_EQ(FormatText("100%% %s", {TVarRec::Text("done", TVarKind::vtAnsiString)}), "100% done");
    EXPECT_EQ(FormatText("no arguments", {}), "no arguments");
    // Arguments beyond the format are ignored.
    EXPECT_EQ(FormatText("%s", {TVarRec::Text("a"), TVarRec::Integer(1)}), "a");
}

TEST(FormatText, MismatchedOrMissingArgumentsRaise) {
    EXPECT_THROW(FormatText("%d", {TVarRec::Text("1")}), EFormatError);
    EXPECT_THROW(FormatText("%s", {TVarRec::Integer(1)}), EFormatError);
    EXPECT_THROW(FormatText("%d", {TVarRec::Boolean(true)}), EFormatError);
    EXPECT_THROW(FormatText("%s %s", {TVarRec::Text("only one")}), EFormatError);
    EXPECT_THROW(FormatText("%q", {TVarRec::Integer(1)}), EFormatError);
    EXPECT_THROW(FormatText("trailing %", {}), EFormatError);
    EXPECT_THROW(FormatText("%d", {TVarRec::Pointer(nullptr)}), EFormatError);
    try {
        FormatText("x=%d", {TVarRec::Text("a")});
        FAIL();
    } catch (const EFormatError& e) {
        EXPECT_NE(std::string(e.what()).find("x=%d"), std::string::npos);
    }
}

TEST(FormatText, WidthPrecisionIndexAndStar) {
    EXPECT_EQ(
        FormatText("[%5d][%-5d][%.3d]", {TVarRec::Integer(42), TVarRec::Integer(42), TVarRec::Integer(-7)}),
        "[   42][42   ][-007]");
    EXPECT_EQ(FormatText("[%4s][%.2s]", {TVarRec::Text("中"), TVarRec::Text("中文字")}), "[   中][中文]");
    EXPECT_EQ(FormatText("%1:s %0:s %s", {TVarRec::Text("a"), TVarRec::Text("b"), TVarRec::Text("c")}),
              "b a b");
    EXPECT_EQ(FormatText("[%*d]", {TVarRec::Integer(4), TVarRec::Integer(9)}), "[   9]");
    EXPECT_EQ(FormatText("%x %x %u", {TVarRec::Integer(255), TVarRec::Integer(-1), TVarRec::Integer(-1)}),
              "FF FFFFFFFF 4294967295");
    EXPECT_EQ(FormatText("%d", {TVarRec::Int64(std::numeric_limits<int64_t>::min())}),
              "-9223372036854775808");
}

TEST(FormatText, FloatsAndCurrency) {
    EXPECT_EQ(FormatText("%.1f|%f|%g",
                         {TVarRec::Extended(2.75), TVarRec::Currency(125000), TVarRec::Extended(0.5)}),
              "2.8|12.50|0.5");
    EXPECT_EQ(FormatText("%e", {TVarRec::Extended(1234.5)}), "1.23450000000000E+003");
    EXPECT_THROW(FormatText("%f", {TVarRec::Integer(1)}), EFormatError);
}

TEST(FloatToGeneral, FixedUntilTheDigitsRunOut) {
    EXPECT_EQ(FloatToGeneral(12.5), "12.5");
    EXPECT_EQ(FloatToGeneral(0), "0");
    EXPECT_EQ(FloatToGeneral(-3), "-3");
    EXPECT_EQ(FloatToGeneral(0.1 + 0.2), "0.3");
    EXPECT_EQ(FloatToGeneral(123456789012345.0), "123456789012345");
    EXPECT_EQ(FloatToGeneral(1234567890123456.0), "1.23456789012346E15");
    EXPECT_EQ(FloatToGeneral(1e20), "1E20");
    EXPECT_EQ(FloatToGeneral(0.00001), "0.00001");
    EXPECT_EQ(FloatToGeneral(0.000001), "1E-6");
    EXPECT_EQ(FloatToGeneral(-2.5e-7), "-2.5E-7");
    EXPECT_EQ(FloatToGeneral(std::nan("")), "NAN");
    EXPECT_EQ(FloatToGeneral(-HUGE_VAL), "-INF");
}

TEST(CurrencyToText, ExactWithoutTrailingZeros) {
    EXPECT_EQ(CurrencyToText(125000), "12.5");
    EXPECT_EQ(CurrencyToText(10000), "1");
    EXPECT_EQ(CurrencyToText(-1), "-0.0001");
    EXPECT_EQ(CurrencyToText(0), "0");
    EXPECT_EQ(CurrencyToText(std::numeric_limits<int64_t>::max()), "922337203685477.5807");
    EXPECT_EQ(CurrencyToText(std::numeric_limits<int64_t>::min()), "-922337203685477.5808");
}
