#include "foundation/Json.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <random>
#include <string>

namespace {

std::string Nested(int depth, const char* inner = "1") {
    return std::string(static_cast<size_t>(depth), '[') + inner +
           std::string(static_cast<size_t>(depth), ']');
}

std::string RoundTrip(std::string_view text) {
    JsonRef v = ParseJson(text);
    return v ? PrintJson(v) : "<none>";
}

} // namespace

TEST(JsonParse, TakesTheFirstValueAndIgnoresTheRest) {
    JsonRef v = ParseJson(R"({"a":1} and then some words {"b":2})");
    ASSERT_TRUE(v);
    EXPECT_EQ(PrintJson(v), R"({"a":1})");
    EXPECT_EQ(RoundTrip("  [1,2]]]"), "[1,2]");
    EXPECT_EQ(RoundTrip("\"x\"y"), "\"x\"");
    EXPECT_EQ(RoundTrip("\xEF\xBB\xBF{\"a\":true}"), R"({"a":true})"); // file with byte-order mark
}

TEST(JsonParse, TextThatDoesNotBeginWithAValueGivesNoValue) {
    for (const char* text : {"",         "   ",       "abc",   "tru",   "nul",     "-",          "+1",
                             ".5",       "'a'",       "}",     "]",     "{,}",     "[1,]",       "{\"a\"}",
                             "{\"a\":}", "{\"a\" 1}", "{a:1}", "[1 2]", "\"\\x\"", "\"\\u12G4\""}) {
        EXPECT_FALSE(ParseJson(text)) << text;
    }
}

TEST(JsonParse, EveryTruncationOfADocumentGivesNoValue) {
    const std::string doc = R"({"name":"中文","list":[1,-2.5e3,true,null,{"k":"v\"q"}],"n":{}})";
    ASSERT_TRUE(ParseJson(doc));
    for (size_t len = 0; len < doc.size(); ++len)
        EXPECT_FALSE(ParseJson(doc.substr(0, len))) << len;
}

TEST(JsonParse, NulByteEndsTheText) {
    EXPECT_EQ(RoundTrip(std::string("{\"a\":1}\0garbage", 15)), R"({"a":1})");
    EXPECT_FALSE(ParseJson(std::string("{\"a\":\"x\0y\"}", 11)));
    EXPECT_FALSE(ParseJson(std::string("\0{}", 3)));
    // An escaped NUL is a character like any other and prints escaped again.
    JsonRef v = ParseJson(R"({"a":"x\u0000y"})");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->GetS("a"), std::string("x\0y", 3));
    EXPECT_EQ(v->AsString(), R"({"a":"x\u0000y"})");
}

TEST(JsonParse, NestingIsCappedWithoutExhaustingTheStack) {
    EXPECT_TRUE(ParseJson(Nested(kJsonMaxDepth)));
    EXPECT_FALSE(ParseJson(Nested(kJsonMaxDepth + 1)));
    const std::string objects = [] {
        std::string s;
        for (int i = 0; i < kJsonMaxDepth + 1; ++i)
            s += "{\"a\":";
        return s + "1" + std::string(kJsonMaxDepth + 1, '}');
    }();
    EXPECT_FALSE(ParseJson(objects));
    EXPECT_FALSE(ParseJson(std::string(2000000, '[')));
    EXPECT_FALSE(ParseJson(Nested(1000000)));
}

TEST(JsonParse, NumbersKeepTheirKindAndRange) {
    JsonRef v = ParseJson(
        R"([9223372036854775807,-9223372036854775808,9223372036854775808,1.5,1e2,-0,123456789012345678901234567890])");
    ASSERT_TRUE(v);
    EXPECT_TRUE(v->O(0)->IsType(stInt));
    EXPECT_EQ(v->I(0), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(v->I(1), std::numeric_limits<int64_t>::min());
    EXPECT_TRUE(v->O(2)->IsType(stDouble)); // beyond int64
    EXPECT_EQ(v->D(2), 9223372036854775808.0);
    EXPECT_TRUE(v->O(3)->IsType(stDouble));
    EXPECT_TRUE(v->O(4)->IsType(stDouble));
    EXPECT_EQ(v->D(4), 100.0);
    EXPECT_TRUE(v->O(5)->IsType(stInt));
    EXPECT_DOUBLE_EQ(v->D(6), 1.2345678901234568e29);
}

TEST(JsonParse, HugeAndTinyNumbersDoNotFailTheDocument) {
    JsonRef v = ParseJson("[1e999,-1e999,1e-999,-1e-999,0.000e99999999999999999999,1e99999999999999999999]");
    ASSERT_TRUE(v);
    EXPECT_TRUE(std::isinf(v->D(0)) && v->D(0) > 0);
    EXPECT_TRUE(std::isinf(v->D(1)) && v->D(1) < 0);
    EXPECT_EQ(v->D(2), 0.0);
    EXPECT_TRUE(std::signbit(v->D(3))); // kept as read, but printed as 0: "-0" would read back as an integer
    EXPECT_EQ(v->D(4), 0.0);
    EXPECT_TRUE(std::isinf(v->D(5)));
    EXPECT_EQ(v->I(0), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(v->I(1), std::numeric_limits<int64_t>::min());
    // Infinities print as null: the text must stay JSON that pages can read.
    EXPECT_EQ(PrintJson(v), "[null,null,0,0,0,null]");
    JsonRef nan = NewJsonDouble(std::nan(""));
    EXPECT_EQ(PrintJson(nan), "null");
    EXPECT_EQ(nan->AsInteger(), 0);
    // Thousands of digits are read, not refused.
    EXPECT_TRUE(std::isinf(ParseJson("1" + std::string(5000, '0'))->AsDouble()));
    EXPECT_EQ(ParseJson("0." + std::string(5000, '0') + "1")->AsDouble(), 0.0);
}

TEST(JsonParse, StringEscapesDecodeToUtf8) {
    JsonRef v =
        ParseJson(R"(["\"\\\/\b\f\n\r\t","\u4e2d\u6587","\ud83d\ude00","\ud83d","\ude00x","\ud83d\u0041"])");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->S(0), "\"\\/\b\f\n\r\t");
    EXPECT_EQ(v->S(1), "中文");
    EXPECT_EQ(v->S(2), "\xF0\x9F\x98\x80");
    EXPECT_EQ(v->S(3), "\xEF\xBF\xBD"); // lone surrogates have no UTF-8 form
    EXPECT_EQ(v->S(4), "\xEF\xBF\xBDx");
    EXPECT_EQ(v->S(5), "\xEF\xBF\xBD"
                       "A");
}

TEST(JsonParse, InvalidUtf8InStringsBecomesReplacementCharacters) {
    const std::string fffd = "\xEF\xBF\xBD";
    // A Chinese character cut after two of its three bytes costs one replacement.
    EXPECT_EQ(ParseJson("{\"a\":\"中\xE6\x96\"}")->GetS("a"), "中" + fffd);
    EXPECT_EQ(ParseJson("{\"\xD6\xD0\":1}")->Keys().at(0), fffd + fffd); // GBK bytes by mistake
    std::string ten;
    for (int i = 0; i < 10; ++i)
        ten += fffd;
    // overlong form, encoded surrogate, beyond U+10FFFF, stray byte: one replacement per byte
    EXPECT_EQ(ParseJson("[\"\xC0\xAF\xED\xA0\x80\xF4\x90\x80\x80\xFF\"]")->S(0), ten);
    EXPECT_EQ(ParseJson("[\"\xE4\xB8x\xF0\x9F\x98\"]")->S(0), fffd + "x" + fffd);
}

TEST(JsonParse, RawControlCharactersInStringsAreKept) {
    // Our printer writes them unescaped, so our own output must read back.
    JsonRef v = ParseJson("[\"a\nb\tc\x01\"]");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->S(0), "a\nb\tc\x01");
}

TEST(JsonParse, LaterDuplicateMemberReplacesEarlier) {
    JsonRef v = ParseJson(R"({"a":1,"b":2,"a":3})");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->GetI("a"), 3);
    EXPECT_EQ(v->Keys().size(), 2u);
}

TEST(JsonPrint, OnlyQuoteBackslashAndNulAreEscaped) {
    JsonRef o = ParseJson("{}");
    o->PutS("k", std::string("\"\\\n/中文\t\x01\0", 13));
    EXPECT_EQ(o->AsString(), std::string("{\"k\":\"\\\"\\\\\n/中文\t\x01\\u0000\"}"));
    o = ParseJson("{}");
    o->PutS("q\"k", "");
    EXPECT_EQ(o->AsString(), R"({"q\"k":""})");
}

TEST(JsonPrint, CompactWithoutSpacesInTheOrderMembersWereSet) {
    JsonRef o = ParseJson(" { \"z\" : [ 1 , { } , [ ] , null ] , \"a\" : false } ");
    ASSERT_TRUE(o);
    o->PutI("z2", -5);
    o->PutS("a", "x"); // replacing keeps the member's place
    EXPECT_EQ(o->AsString(), R"({"z":[1,{},[],null],"a":"x","z2":-5})");
}

TEST(JsonPrint, NumbersUseAPointAndReadBackExactly) {
    for (double d : {0.1, 1.0 / 3, -2.5, 1e-300, 5e-324, 1.7976931348623157e308, 123456789.125, 1e21, 3.0}) {
        const std::string text = PrintJson(NewJsonDouble(d));
        EXPECT_EQ(text.find(','), std::string::npos) << text;
        EXPECT_EQ(ParseJson(text)->AsDouble(), d) << text;
    }
    EXPECT_EQ(PrintJson(NewJsonDouble(12.5)), "12.5");
    EXPECT_EQ(PrintJson(NewJsonInt(std::numeric_limits<int64_t>::min())), "-9223372036854775808");
    EXPECT_EQ(PrintJson(NewJsonCurrency(125000)), "12.5");
    EXPECT_EQ(PrintJson(NewJsonCurrency(-5)), "-0.0005");
    EXPECT_EQ(PrintJson(NewJsonCurrency(30000)), "3");
    EXPECT_EQ(PrintJson(NewJsonCurrency(std::numeric_limits<int64_t>::min())), "-922337203685477.5808");
}

TEST(JsonPrint, NumbersIgnoreACommaDecimalLocale) {
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    const char* found = nullptr;
    for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "German_Germany.1252", "German", "fr_FR.UTF-8"})
        if ((found = std::setlocale(LC_NUMERIC, name)) != nullptr) break;
    if (!found) GTEST_SKIP() << "no locale with a decimal comma here";
    const std::string printed = PrintJson(NewJsonDouble(12.5));
    const double parsed = ParseJson("12.5")->AsDouble();
    const double fromText = NewJsonString("0.25")->AsDouble();
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(printed, "12.5");
    EXPECT_EQ(parsed, 12.5);
    EXPECT_EQ(fromText, 0.25);
}

TEST(JsonPrint, AValuePutIntoItselfPrintsNullWhereTheLoopCloses) {
    JsonRef a = ParseJson("{}");
    JsonRef arr = NewJsonArray();
    a->PutO("self", a);
    arr->Add(a);
    EXPECT_EQ(a->AsString(), R"({"self":null})");
    EXPECT_EQ(PrintJson(arr), R"([{"self":null}])");
    a->Delete("self"); // break the loop so the values are freed
    // The same value twice side by side is not a loop.
    JsonRef shared = ParseJson("[1]");
    JsonRef pair = NewJsonArray();
    pair->Add(shared);
    pair->Add(shared);
    EXPECT_EQ(PrintJson(pair), "[[1],[1]]");
}

TEST(JsonValue, HoldersShareOneValue) {
    JsonRef root = ParseJson("{}");
    JsonRef child = ParseJson("{}");
    JsonRef list = NewJsonArray();
    root->PutO("c", child);
    list->Add(child);
    child->PutS("x", "y");
    EXPECT_EQ(root->AsString(), R"({"c":{"x":"y"}})");
    EXPECT_EQ(PrintJson(list), R"([{"x":"y"}])");
    EXPECT_EQ(root->GetO("c"), child);
    root.reset();
    EXPECT_EQ(list->O(0)->GetS("x"), "y"); // still held by the list
}

TEST(JsonValue, NoValueIsDistinctFromNull) {
    JsonRef o = ParseJson(R"({"n":null})");
    ASSERT_TRUE(o->GetO("n"));
    EXPECT_TRUE(o->GetO("n")->IsType(stNull));
    EXPECT_FALSE(o->GetO("missing"));
    EXPECT_FALSE(o->GetO("N")); // keys are case-sensitive
    o->PutO("p", nullptr);
    EXPECT_EQ(o->AsString(), R"({"n":null,"p":null})");
    EXPECT_EQ(NewJsonNull()->AsString(), "");
}

TEST(JsonValue, WritingToTheWrongKindIsReported) {
    EXPECT_THROW(NewJsonArray()->PutS("a", "b"), std::logic_error);
    EXPECT_THROW(ParseJson("{}")->Add(NewJsonInt(1)), std::logic_error);
    EXPECT_THROW(NewJsonString("s")->PutI("a", 1), std::logic_error);
    EXPECT_FALSE(NewJsonArray()->GetO("a"));
    EXPECT_FALSE(ParseJson("{}")->O(0));
}

TEST(JsonGetters, TextRules) {
    JsonRef o = ParseJson(R"({"s":"abc","n":null,"o":{"x":"y"},"a":[1,"2"],"i":-7,"d":0.5,"b":true})");
    EXPECT_EQ(o->GetS("missing"), "");
    EXPECT_EQ(o->GetS("n"), "");
    EXPECT_EQ(o->GetS("s"), "abc");
    EXPECT_EQ(o->GetS("o"), R"({"x":"y"})");
    EXPECT_EQ(o->GetS("a"), R"([1,"2"])");
    EXPECT_EQ(o->GetS("i"), "-7");
    EXPECT_EQ(o->GetS("d"), "0.5");
    EXPECT_EQ(o->GetS("b"), "true");
}

TEST(JsonGetters, IntegerRules) {
    JsonRef o = ParseJson(
        R"({"s":"12","neg":"-12","plus":"+3","frac":"12.5","word":"abc","sp":" 1","big":"99999999999999999999",
        "d1":2.5,"d2":-2.5,"d3":2.4,"huge":1e300,"t":true,"f":false,"n":null,"o":{}})");
    EXPECT_EQ(o->GetI("s"), 12);
    EXPECT_EQ(o->GetI("neg"), -12);
    EXPECT_EQ(o->GetI("plus"), 3);
    EXPECT_EQ(o->GetI("frac"), 0);
    EXPECT_EQ(o->GetI("word"), 0);
    EXPECT_EQ(o->GetI("sp"), 0);
    EXPECT_EQ(o->GetI("big"), 0);
    EXPECT_EQ(o->GetI("d1"), 3);
    EXPECT_EQ(o->GetI("d2"), -3);
    EXPECT_EQ(o->GetI("d3"), 2);
    EXPECT_EQ(o->GetI("huge"), std::numeric_limits<int64_t>::max());
    EXPECT_EQ(o->GetI("t"), 1);
    EXPECT_EQ(o->GetI("f"), 0);
    EXPECT_EQ(o->GetI("n"), 0);
    EXPECT_EQ(o->GetI("missing"), 0);
    EXPECT_EQ(o->GetI("o"), 0);
    EXPECT_EQ(NewJsonCurrency(25000)->AsInteger(), 3);
    EXPECT_EQ(NewJsonCurrency(-25000)->AsInteger(), -3);
    EXPECT_EQ(NewJsonCurrency(24999)->AsInteger(), 2);
}

TEST(JsonGetters, BooleanAndDoubleRules) {
    JsonRef o = ParseJson(R"({"z":0,"zd":0.0,"one":1,"half":0.5,"e":"","f":"false","t":true,"n":null,
        "ds":"12.5","ps":".5","es":"1e3","bad":"1,5","inf":"inf","i":7})");
    EXPECT_FALSE(o->GetB("z"));
    EXPECT_FALSE(o->GetB("zd"));
    EXPECT_TRUE(o->GetB("one"));
    EXPECT_TRUE(o->GetB("half"));
    EXPECT_FALSE(o->GetB("e"));
    EXPECT_TRUE(o->GetB("f")); // any non-empty text
    EXPECT_TRUE(o->GetB("t"));
    EXPECT_FALSE(o->GetB("n"));
    EXPECT_FALSE(o->GetB("missing"));
    EXPECT_EQ(o->GetD("ds"), 12.5);
    EXPECT_EQ(o->GetD("ps"), 0.5);
    EXPECT_EQ(o->GetD("es"), 1000.0);
    EXPECT_EQ(o->GetD("bad"), 0.0);
    EXPECT_EQ(o->GetD("inf"), 0.0);
    EXPECT_EQ(o->GetD("i"), 7.0);
    EXPECT_EQ(o->GetD("t"), 1.0);
    EXPECT_EQ(o->GetD("missing"), 0.0);
    EXPECT_EQ(NewJsonCurrency(125000)->AsDouble(), 12.5);
}

TEST(JsonGetters, ArrayElementsFollowTheMemberRules) {
    JsonRef a = ParseJson(R"(["12",null,{"x":1},true,2.5])");
    ASSERT_EQ(a->Length(), 5u);
    EXPECT_EQ(a->I(0), 12);
    EXPECT_EQ(a->S(1), "");
    EXPECT_EQ(a->S(2), R"({"x":1})");
    EXPECT_TRUE(a->B(3));
    EXPECT_EQ(a->D(4), 2.5);
    EXPECT_EQ(a->S(5), ""); // past the end
    EXPECT_EQ(a->I(99), 0);
    EXPECT_FALSE(a->O(5));
    EXPECT_EQ(ParseJson("{}")->Length(), 0u);
}

TEST(JsonObject, ManyMembersStayFindableThroughChangesAndDeletes) {
    JsonRef o = ParseJson("{}");
    for (int i = 0; i < 300; ++i)
        o->PutI("k" + std::to_string(i), i);
    for (int i = 0; i < 300; i += 3)
        EXPECT_TRUE(o->Delete("k" + std::to_string(i)));
    EXPECT_FALSE(o->Delete("k0"));
    for (int i = 0; i < 300; i += 7)
        o->PutI("k" + std::to_string(i), -i);
    for (int i = 0; i < 300; ++i) {
        const JsonRef v = o->GetO("k" + std::to_string(i));
        const int64_t expected = i % 7 == 0 ? -i : i % 3 == 0 ? 0 : i;
        EXPECT_EQ(v ? v->AsInteger() : 0, expected) << i;
        EXPECT_EQ(v != nullptr, i % 7 == 0 || i % 3 != 0) << i;
    }
    // Shrinking back below the indexed size keeps lookups right.
    for (int i = 0; i < 297; ++i)
        o->Delete("k" + std::to_string(i));
    EXPECT_EQ(o->Keys(), (std::vector<std::string>{"k298", "k299"}));
    EXPECT_EQ(o->GetI("k299"), 299);
    // Keys that differ only after an embedded NUL are different keys.
    o->PutI(std::string("a\0b", 3), 1);
    EXPECT_FALSE(o->GetO("a"));
}

TEST(JsonValue, DeepChainsBuiltInCodeAreFreedAndPrintedWithoutRecursion) {
    JsonRef root = ParseJson("{}");
    JsonRef cur = root;
    for (int i = 0; i < 100000; ++i) {
        JsonRef next = (i % 2) ? ParseJson("{}") : NewJsonArray();
        if (cur->IsType(stObject))
            cur->PutO("c", next);
        else
            cur->Add(next);
        cur = next;
    }
    cur.reset();
    EXPECT_EQ(PrintJson(root).size(), 100000u / 2 * (6 + 2) + 2);
    root.reset(); // must not overflow the stack
}

TEST(JsonObjectText, BuildsOneMemberPerPair) {
    const std::string text = JsonObjectText(
        {"i", "b", "c", "e", "s", "p", "pc", "wc", "pw", "as", "cur", "ws", "i64", "us"},
        {TVarRec::Integer(-3), TVarRec::Boolean(true), TVarRec::Text("x", TVarKind::vtChar),
         TVarRec::Extended(0.5), TVarRec::Text("short", TVarKind::vtString), TVarRec::Pointer(nullptr),
         TVarRec::Text("中", TVarKind::vtPChar), TVarRec::Text("文", TVarKind::vtWideChar),
         TVarRec::Text("pw", TVarKind::vtPWideChar), TVarRec::Text("a\"s", TVarKind::vtAnsiString),
         TVarRec::Currency(125000), TVarRec::Text("ws", TVarKind::vtWideString), TVarRec::Int64(1LL << 40),
         TVarRec::Text("")});
    EXPECT_EQ(text,
              R"({"i":-3,"b":true,"c":"x","e":0.5,"s":"short","p":"null","pc":"中","wc":"文","pw":"pw",)"
              R"("as":"a\"s","cur":12.5,"ws":"ws","i64":1099511627776,"us":""})");
    JsonRef v = ParseJson(text);
    EXPECT_TRUE(v->GetO("cur")->IsType(stDouble));
    EXPECT_TRUE(v->GetO("p")->IsType(stString));
}

TEST(JsonObjectText, MismatchedListsGiveEmptyTextAndLaterPairsWin) {
    EXPECT_EQ(JsonObjectText({"a", "b", "c"}, {TVarRec::Integer(1), TVarRec::Integer(2)}), "");
    EXPECT_EQ(JsonObjectText({}, {}), "{}");
    EXPECT_EQ(JsonObjectText({"a", "a"}, {TVarRec::Integer(1), TVarRec::Text("two")}), R"({"a":"two"})");
}

TEST(JsonObjectText, UnsupportedKindsRaiseWithTheirNumber) {
    const int target = 0;
    const auto message = [](TVarRec value) -> std::string {
        try {
            JsonObjectText({"a"}, {value});
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "no error";
    };
    EXPECT_EQ(message(TVarRec::Pointer(&target)), "not support type: 5");
    EXPECT_EQ(message(TVarRec::Pointer(&target, TVarKind::vtObject)), "not support type: 7");
    EXPECT_EQ(message(TVarRec::Pointer(nullptr, TVarKind::vtClass)), "not support type: 8");
    EXPECT_EQ(message(TVarRec::Pointer(&target, TVarKind::vtVariant)), "not support type: 13");
    EXPECT_EQ(message(TVarRec::Pointer(&target, TVarKind::vtInterface)), "not support type: 14");
    TVarRec odd;
    odd.VType = static_cast<TVarKind>(42);
    EXPECT_EQ(message(odd), "not support type: 42");
}

TEST(JsonRecord, TextFields) {
    JsonRef o = ParseJsonRecord(R"({"s":"v","i":5,"d":1.5,"b":false,"n":null,"o":{},"a":[]})");
    EXPECT_EQ(JsonFieldText(*o, "s"), "v");
    EXPECT_EQ(JsonFieldText(*o, "i"), "5");
    EXPECT_EQ(JsonFieldText(*o, "d"), "1.5");
    EXPECT_EQ(JsonFieldText(*o, "b"), "false");
    EXPECT_EQ(JsonFieldText(*o, "n"), "");
    EXPECT_EQ(JsonFieldText(*o, "missing"), "");
    EXPECT_THROW(JsonFieldText(*o, "o"), EJsonInvalidObject);
    EXPECT_THROW(JsonFieldText(*o, "a"), EJsonInvalidObject);
}

TEST(JsonRecord, IntegerFieldsAcceptOnlyWholeNumbersInRange) {
    JsonRef o = ParseJsonRecord(
        R"({"i":5,"t":true,"s":"-12","e":"","n":null,"big":4294967296,"d":1.0,"w":"1x","o":{},"a":[1]})");
    const int64_t lo = std::numeric_limits<int32_t>::min(), hi = std::numeric_limits<int32_t>::max();
    EXPECT_EQ(JsonFieldInt(*o, "i", lo, hi), 5);
    EXPECT_EQ(JsonFieldInt(*o, "t", lo, hi), 1);
    EXPECT_EQ(JsonFieldInt(*o, "s", lo, hi), -12);
    EXPECT_EQ(JsonFieldInt(*o, "e", lo, hi), 0);
    EXPECT_EQ(JsonFieldInt(*o, "n", lo, hi), 0);
    EXPECT_EQ(JsonFieldInt(*o, "missing", lo, hi), 0);
    EXPECT_EQ(JsonFieldInt(*o, "big", lo, std::numeric_limits<int64_t>::max()), 4294967296);
    for (const char* bad : {"big", "d", "w", "o", "a"})
        EXPECT_THROW(JsonFieldInt(*o, bad, lo, hi), EJsonInvalidObject) << bad;
    EXPECT_THROW(JsonFieldInt(*o, "s", 0, 255), EJsonInvalidObject);
    try {
        JsonFieldInt(*o, "d", lo, hi);
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "Invalid object");
    }
}

TEST(JsonRecord, ListsOfRecordsAndNonObjectSources) {
    JsonRef o =
        ParseJsonRecord(R"({"params":[{"key":"b","value":"2"},{"key":"A","value":1}],"bad":[1],"s":"x"})");
    const std::vector<JsonRef> params = JsonFieldRecords(*o, "params");
    ASSERT_EQ(params.size(), 2u);
    EXPECT_EQ(JsonFieldText(*params[0], "key"), "b");
    EXPECT_EQ(JsonFieldText(*params[1], "value"), "1");
    EXPECT_TRUE(JsonFieldRecords(*o, "missing").empty());
    EXPECT_THROW(JsonFieldRecords(*o, "bad"), EJsonInvalidObject);
    EXPECT_THROW(JsonFieldRecords(*o, "s"), EJsonInvalidObject);
    EXPECT_THROW(ParseJsonRecord("not json"), EJsonInvalidObject);
    EXPECT_THROW(ParseJsonRecord("[1]"), EJsonInvalidObject);
    EXPECT_THROW(ParseJsonRecord(""), EJsonInvalidObject);
}

// Random and mutated texts: parsing never crashes, and whatever parses prints to a text that
// parses back to the same print.
TEST(JsonFuzz, RandomAndMutatedTextsParseSafelyAndPrintStably) {
    const std::vector<std::string> seeds = {
        R"({"CallerNo":3,"WebID":1,"FunName":"a.b","paramTypes":[4,0,1,3],"paramValues":["中文",12,true,1.5e-3]})",
        R"([{"a":[[],{}]},"\u4e2d\ud83d\ude00\"\\",-0.0,1e400,null,false])",
        "{\"k\":\"\xE4\xB8\xAD\xE6\"}",
        Nested(20, R"({"x":[1,2,{"y":"z"}]})"),
    };
    const std::string alphabet = "{}[]\",:\\u0123456789abcdefeE+-.ntrl \t\n\xE4\xB8\xAD\xFF\x80";
    std::mt19937 rng(12345);
    const auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
    int parsed = 0;
    for (int iter = 0; iter < 30000; ++iter) {
        std::string text;
        if (iter % 4 == 0) {
            const size_t len = pick(64);
            for (size_t i = 0; i < len; ++i)
                text += iter % 8 == 0 ? static_cast<char>(rng()) : alphabet[pick(alphabet.size())];
        } else {
            text = seeds[pick(seeds.size())];
            const size_t edits = 1 + pick(4);
            for (size_t e = 0; e < edits && !text.empty(); ++e) {
                const size_t at = pick(text.size());
                switch (pick(4)) {
                case 0:
                    text[at] = alphabet[pick(alphabet.size())];
                    break;
                case 1:
                    text.erase(at, 1 + pick(8));
                    break;
                case 2:
                    text.insert(at, 1, static_cast<char>(rng()));
                    break;
                default:
                    text.insert(at, text.substr(pick(text.size()), pick(16)));
                }
            }
        }
        JsonRef v = ParseJson(text);
        if (!v) continue;
        ++parsed;
        const std::string once = PrintJson(v);
        JsonRef again = ParseJson(once);
        ASSERT_TRUE(again) << once;
        ASSERT_EQ(PrintJson(again), once);
    }
    EXPECT_GT(parsed, 1000); // the mutations must exercise the printer too
}
