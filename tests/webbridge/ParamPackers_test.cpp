#include "foundation/TextCodec.h"
#include "webbridge/ParamPackers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
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
    int32_t APPFRAME_STDCALL Reserved1() override { return 0; }
    int32_t APPFRAME_STDCALL Reserved2() override { return 0; }
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
    void APPFRAME_STDCALL AddBoolParam(int32_t code, TFwBool v) override {
        Calls.push_back("Bool(" + std::to_string(code) + "," + std::to_string(v) + ")");
    }
    int32_t APPFRAME_STDCALL Reserved7() override { return 0; }
    int32_t APPFRAME_STDCALL Reserved8() override { return 0; }
    int32_t APPFRAME_STDCALL Reserved9() override { return 0; }
    const char* APPFRAME_STDCALL ParamText() override { return ""; }
    int32_t APPFRAME_STDCALL ParamCount() override { return 0; }
    const char* APPFRAME_STDCALL ParamStr(int32_t) override { return ""; }
    int32_t APPFRAME_STDCALL Reserved13() override { return 0; }
    int32_t APPFRAME_STDCALL ParamInt(int32_t, int32_t) override { return 0; }
    int32_t APPFRAME_STDCALL Reserved15() override { return 0; }
    int32_t APPFRAME_STDCALL Reserved16() override { return 0; }
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

TEST(ArgsFromAbi, ConvertsTextsAndKeepsRefusedKinds) {
    SetAnsiCodePage(936);
    const double d = 2.5;
    const int64_t cur = 125000;
    const int64_t big = 1LL << 40;
    std::vector<TVarRecAbi> abi(8);
    abi[0].VType = 0, abi[0].VInteger = -4;
    abi[1].VType = 6, abi[1].VString = "\xD6\xD0";
    abi[2].VType = 17, abi[2].VWideString = u"宽";
    abi[3].VType = 3, abi[3].VExtended = &d;
    abi[4].VType = 12, abi[4].VCurrency = &cur;
    abi[5].VType = 16, abi[5].VInt64 = &big;
    abi[6].VType = 4, abi[6].VString = nullptr;
    abi[7].VType = 13, abi[7].VPointer = nullptr;
    const TVarArgs args = ArgsFromAbi(abi.data(), static_cast<int32_t>(abi.size()));
    ASSERT_EQ(args.size(), 8u);
    EXPECT_EQ(args[0].VInt, -4);
    EXPECT_EQ(args[1].VText, "中");
    EXPECT_EQ(args[1].VType, TVarKind::vtPChar);
    EXPECT_EQ(args[2].VText, "宽");
    EXPECT_EQ(args[3].VFloat, 2.5);
    EXPECT_EQ(args[4].VInt, 125000);
    EXPECT_EQ(args[5].VInt, big);
    EXPECT_EQ(args[6].VText, "");
    EXPECT_EQ(UnsupportedMessage([&] { PackFunParamsText(args); }), "not support type: 13");
    EXPECT_TRUE(ArgsFromAbi(nullptr, 3).empty());
    EXPECT_TRUE(ArgsFromAbi(abi.data(), -1).empty());
}
