#include "foundation/TextCodec.h"
#include "webbridge/ParamPackers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// Records the list operations in the order they were called, as "op(code,value)".
class TRecordingParams final : public IJsCallerInf {
public:
    std::vector<std::string> Calls;

    TFwHResult APPFRAME_STDCALL QueryInterface(const TFwGuid&, void**) override { return kFwENoInterface; }
    uint32_t APPFRAME_STDCALL AddRef() override { return 1; }
    uint32_t APPFRAME_STDCALL Release() override { return 1; }
    void APPFRAME_STDCALL AddStrParam(int32_t code, const char* v) override {
        Calls.push_back("Str(" + std::to_string(code) + "," + v + ")");
    }
    void APPFRAME_STDCALL AddIntParam(int32_t code, int32_t v) override {
        Calls.push_back("Int(" + std::to_string(code) + "," + std::to_string(v) + ")");
    }
    void APPFRAME_STDCALL AddFloatParam(int32_t code, double v) override {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.17g", v);
        Calls.push_back("Float(" + std::to_string(code) + "," + buf + ")");
    }
    void APPFRAME_STDCALL AddBoolParam(int32_t code, TPasBool v) override {
        Calls.push_back("Bool(" + std::to_string(code) + "," + std::to_string(static_cast<uint32_t>(v)) +
                        ")");
    }
    const char* APPFRAME_STDCALL ParamText() override { return ""; }
    int32_t APPFRAME_STDCALL ParamCount() override { return 0; }
    const char* APPFRAME_STDCALL ParamStr(int32_t) override { return ""; }
    int32_t APPFRAME_STDCALL ParamInt(int32_t, int32_t) override { return 0; }
    void APPFRAME_STDCALL SetResult(const char*) override {}
    const char* APPFRAME_STDCALL Result() override { return ""; }
};

std::string UnsupportedMessage(const std::function<void()>& f) {
    try {
        f();
    } catch (const EUnsupportedParam& e) {
        return e.what();
    }
    return "(nothing raised)";
}

const int kAnchor = 0;

} // namespace

TEST(ScriptCallText, RendersEachKindAndQuotesOnlySingleQuotes) {
    EXPECT_EQ(
        ScriptCallText("showTip", {TVarRec::Integer(3), TVarRec::Text("O'Neil"), TVarRec::Pointer(nullptr)}),
        "showTip(3,'O\\'Neil',null);");
    EXPECT_EQ(ScriptCallText("f", {}), "f();");
    EXPECT_EQ(ScriptCallText("f", {TVarRec::Text("a\\b\r\nc", TVarKind::vtPChar)}), "f('a\\b\r\nc');");
    EXPECT_EQ(
        ScriptCallText("f", {TVarRec::Boolean(true), TVarRec::Boolean(false), TVarRec::Int64(-9000000000LL),
                             TVarRec::Currency(125000), TVarRec::Extended(12.5), TVarRec::Extended(1.0 / 3)}),
        "f(true,false,-9000000000,12.5,12.5,0.333333333333333);");
    EXPECT_EQ(ScriptCallText(
                  "f", {TVarRec::Text("中", TVarKind::vtWideChar), TVarRec::Text("x", TVarKind::vtChar)}),
              "f('中','x');");
}

TEST(ScriptCallText, NonFiniteNumbersStayValidScript) {
    EXPECT_EQ(ScriptCallText("f", {TVarRec::Extended(HUGE_VAL), TVarRec::Extended(-HUGE_VAL),
                                   TVarRec::Extended(std::nan(""))}),
              "f(Infinity,-Infinity,NaN);");
}

TEST(ScriptCallText, RefusesObjectsAndNonEmptyPointers) {
    EXPECT_EQ(UnsupportedMessage([] { ScriptCallText("f", {TVarRec::Pointer(&kAnchor)}); }),
              "not support type: 5");
    EXPECT_EQ(UnsupportedMessage([] {
                  ScriptCallText("f", {TVarRec::Integer(1), TVarRec::Pointer(&kAnchor, TVarKind::vtObject)});
              }),
              "not support type: 7");
    for (TVarKind k :
         {TVarKind::vtClass, TVarKind::vtVariant, TVarKind::vtInterface, static_cast<TVarKind>(18)}) {
        EXPECT_EQ(UnsupportedMessage([k] { ScriptCallText("f", {TVarRec::Pointer(nullptr, k)}); }),
                  "not support type: " + std::to_string(static_cast<int>(k)));
    }
}

TEST(PackFunParams, TypesAndValuesInOrder) {
    EXPECT_EQ(PackFunParamsText({TVarRec::Text("abc"), TVarRec::Integer(12)}),
              R"({"paramTypes":[4,0],"paramValues":["abc",12]})");
    EXPECT_EQ(PackFunParamsText({}), R"({"paramTypes":[],"paramValues":[]})");
    EXPECT_EQ(PackFunParamsText({TVarRec::Boolean(true), TVarRec::Currency(125000), TVarRec::Extended(0.5),
                                 TVarRec::Int64(9000000000LL), TVarRec::Pointer(&kAnchor),
                                 TVarRec::Text("x", TVarKind::vtChar)}),
              R"({"paramTypes":[1,3,3,0,4,4],"paramValues":[true,12.5,0.5,9000000000,"","x"]})");
    EXPECT_EQ(
        UnsupportedMessage([] { PackFunParamsText({TVarRec::Pointer(nullptr, TVarKind::vtInterface)}); }),
        "not support type: 14");
}

TEST(TranParamToJsCallerInf, UsesTheListOperationOfEachKind) {
    SetAnsiCodePage(936);
    TRecordingParams list;
    EXPECT_TRUE(TranParamToJsCallerInf({TVarRec::Integer(-3), TVarRec::Boolean(true), TVarRec::Text("中文"),
                                        TVarRec::Extended(2.5), TVarRec::Currency(125000),
                                        TVarRec::Int64(9000000000LL), TVarRec::Pointer(nullptr)},
                                       list));
    const std::vector<std::string> expected = {"Int(0,-3)",    "Bool(1,1)",     "Str(4,\xD6\xD0\xCE\xC4)",
                                               "Float(3,2.5)", "Float(3,12.5)", "Float(0,9000000000)",
                                               "Str(4,null)"};
    EXPECT_EQ(list.Calls, expected);
}

TEST(TranParamToJsCallerInf, StopsAtTheFirstRefusedValueKeepingTheOnesBefore) {
    TRecordingParams list;
    EXPECT_EQ(UnsupportedMessage([&] {
                  TranParamToJsCallerInf(
                      {TVarRec::Integer(1), TVarRec::Pointer(&kAnchor), TVarRec::Integer(2)}, list);
              }),
              "not support type: 5");
    EXPECT_EQ(list.Calls, std::vector<std::string>{"Int(0,1)"});
}

// Builds the layouts a Pascal caller passes: counted strings with their 12-byte header, a short
// string without a terminating zero, a 10-byte extended, a system string.
template <class Ch>
std::vector<char> CountedString(const std::basic_string<Ch>& text) {
    const TPasStrRec rec{936, sizeof(Ch), 1, static_cast<int32_t>(text.size())};
    std::vector<char> block(sizeof rec + (text.size() + 1) * sizeof(Ch), 0);
    std::memcpy(block.data(), &rec, sizeof rec);
    std::memcpy(block.data() + sizeof rec, text.data(), text.size() * sizeof(Ch));
    return block;
}

TEST(ArgsFromAbi, ReadsEachKindByItsLayoutUpToTheLastIndex) {
    SetAnsiCodePage(936);
    const int64_t cur = 125000;
    const int64_t big = 1LL << 40;
    const uint8_t shortString[] = {2, 0xD6, 0xD0, 'X', 'Y'}; // "中", then bytes beyond its length
    const uint8_t extended[10] = {0, 0, 0, 0, 0, 0, 0, 0xA0, 0x00, 0x40}; // 2.5
    const std::vector<char> ansi = CountedString(std::string("a\0\xD6\xD0", 4));
    const std::vector<char> unicode = CountedString(std::u16string(u"宽字"));
    char16_t* wide = PasWideAlloc(u"系统");
    std::vector<TVarRecAbi> abi(12);
    abi[0].VType = 0, abi[0].VInteger = -4;
    abi[1].VType = 6, abi[1].VPChar = "\xD6\xD0";
    abi[2].VType = 17, abi[2].VUnicodeString = reinterpret_cast<const char16_t*>(unicode.data() + 12);
    abi[3].VType = 3, abi[3].VExtended = extended;
    abi[4].VType = 12, abi[4].VCurrency = &cur;
    abi[5].VType = 16, abi[5].VInt64 = &big;
    abi[6].VType = 4, abi[6].VString = shortString;
    abi[7].VType = 11, abi[7].VAnsiString = ansi.data() + 12;
    abi[8].VType = 15, abi[8].VWideString = wide;
    abi[9].VType = 11, abi[9].VAnsiString = nullptr;  // the empty counted string
    abi[10].VType = 1, abi[10].VInteger = 0x7F7F7F00; // one byte counts: false
    abi[11].VType = 13, abi[11].VPointer = nullptr;
    const TVarArgs args = ArgsFromAbi(abi.data(), 11);
    PasWideFree(wide);
    ASSERT_EQ(args.size(), 12u);
    EXPECT_EQ(args[0].VInt, -4);
    EXPECT_EQ(args[1].VText, "中");
    EXPECT_EQ(args[1].VType, TVarKind::vtPChar);
    EXPECT_EQ(args[2].VText, "宽字");
    EXPECT_EQ(args[3].VFloat, 2.5);
    EXPECT_EQ(args[4].VInt, 125000);
    EXPECT_EQ(args[5].VInt, big);
    EXPECT_EQ(args[6].VText, "中");
    EXPECT_EQ(args[7].VText, std::string("a\0中", 5));
    EXPECT_EQ(args[8].VText, "系统");
    EXPECT_EQ(args[9].VText, "");
    EXPECT_EQ(args[10].VInt, 0);
    EXPECT_EQ(UnsupportedMessage([&] { PackFunParamsText(args); }), "not support type: 13");
    EXPECT_TRUE(ArgsFromAbi(nullptr, 3).empty());
    EXPECT_TRUE(ArgsFromAbi(abi.data(), -1).empty());
    EXPECT_EQ(ArgsFromAbi(abi.data(), 0).size(), 1u);
}
