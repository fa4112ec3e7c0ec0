#include "webbridge/CallerParam.h"

#include <gtest/gtest.h>

namespace {
std::string RangeMessage(const TCallerParam& p, bool value, int32_t idx) {
    try {
        if (value)
            p.CheckedParamValue(idx);
        else
            p.CheckedParamType(idx);
    } catch (const ECallerParamRange& e) {
        return e.what();
    }
    return "(nothing raised)";
}
} // namespace

TEST(TCallerParam, ReadsHeaderAndValuesByTypeCode) {
    auto p =
        TCallerParam::Create(R"({"CallerNo":7,"WebID":1234,"FunName":"app.userinfor",)"
                             R"("paramTypes":[0,1,3,4,2],"paramValues":[9000000000,true,2.5,"中文",5]})");
    EXPECT_EQ(p->CallerID(), 7);
    EXPECT_EQ(p->webId(), 1234);
    EXPECT_EQ(p->FunNameUtf8(), "app.userinfor");
    ASSERT_EQ(p->Count(), 5);
    EXPECT_EQ(std::get<int64_t>(p->CheckedParamValue(0)), 9000000000LL);
    EXPECT_EQ(std::get<bool>(p->CheckedParamValue(1)), true);
    EXPECT_EQ(std::get<double>(p->CheckedParamValue(2)), 2.5);
    EXPECT_EQ(std::get<std::string>(p->CheckedParamValue(3)), "中文");
    // An unknown code is kept, its value stays empty.
    EXPECT_EQ(p->CheckedParamType(4), 2);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(p->CheckedParamValue(4)));
}

TEST(TCallerParam, MismatchedOrMissingArraysGiveNoParameters) {
    EXPECT_EQ(TCallerParam::Create(R"({"paramTypes":[0,0,0],"paramValues":[1,2]})")->Count(), 0);
    EXPECT_EQ(TCallerParam::Create(R"({"paramTypes":[0]})")->Count(), 0);
    EXPECT_EQ(TCallerParam::Create(R"({"paramTypes":0,"paramValues":0})")->Count(), 0);
    auto empty = TCallerParam::Create(R"({"paramTypes":[],"paramValues":[]})");
    EXPECT_EQ(empty->Count(), 0);
    EXPECT_EQ(empty->CallerID(), 0);
    EXPECT_EQ(empty->FunNameUtf8(), "");
    for (const char* text : {"", "not json", "[1,2]", "null"}) {
        auto p = TCallerParam::Create(text);
        EXPECT_EQ(p->Count(), 0) << text;
        EXPECT_EQ(p->webId(), 0) << text;
    }
}

TEST(TCallerParam, IndexOutsideTheListRaisesTheRangeText) {
    auto p = TCallerParam::Create(R"({"FunName":"msg.x","paramTypes":[4],"paramValues":["a"]})");
    EXPECT_EQ(std::get<std::string>(p->CheckedParamValue(0)), "a");
    EXPECT_EQ(RangeMessage(*p.Get(), true, -1), "TCallerParam.ParamValue[msg.x]下载越界-1/1");
    EXPECT_EQ(RangeMessage(*p.Get(), true, 1), "TCallerParam.ParamValue[msg.x]下载越界1/1");
    EXPECT_EQ(RangeMessage(*p.Get(), false, 1), "TCallerParam.ParamType[msg.x]下载越界1/1");
}

// The slots answer through the hidden result: variants and wide strings the caller owns and
// frees (ASan reports a leak or a double free otherwise).
TEST(TCallerParam, InterfaceSlotsHandOutOwnedValuesAndReportRangeFailuresWithoutRaising) {
    auto p = TCallerParam::Create(
        R"({"FunName":"名.x","paramTypes":[4,0,1,3,9,1],"paramValues":["值",-2,false,0.25,null,true]})");
    ICallerParam* intf = p.Get();
    EXPECT_EQ(intf->ParamType(6), -1);
    EXPECT_EQ(intf->ParamType(-1), -1);
    char16_t* name = PasWideAlloc(u"old"); // a caller's variable that still holds a string
    intf->FunName(&name);
    EXPECT_EQ(PasWideView(name), u"名.x");
    PasWideFree(name);

    TPasVariant v{};
    intf->ParamValue(0, &v);
    ASSERT_EQ(v.VType, kVarOleStr);
    EXPECT_EQ(PasWideView(v.VOleStr), u"值");
    intf->ParamValue(6, &v); // out of range: the old text is released, the value is empty
    EXPECT_EQ(v.VType, kVarEmpty);
    intf->ParamValue(1, &v);
    EXPECT_EQ(v.VType, kVarInt64);
    EXPECT_EQ(v.VInt64, -2);
    intf->ParamValue(2, &v);
    EXPECT_EQ(v.VType, kVarBoolean);
    EXPECT_EQ(v.VBoolean, 0);
    intf->ParamValue(5, &v);
    EXPECT_EQ(v.VBoolean, -1); // WordBool true
    intf->ParamValue(3, &v);
    EXPECT_EQ(v.VType, kVarDouble);
    EXPECT_EQ(v.VDouble, 0.25);
    intf->ParamValue(4, &v);
    EXPECT_EQ(v.VType, kVarEmpty);
    intf->ParamValue(0, nullptr);
}

TEST(TCallerParam, LivesUntilTheLastReferenceGoes) {
    auto p = TCallerParam::Create(R"({"FunName":"a.b"})");
    void* again = nullptr;
    ASSERT_EQ(p->QueryInterface(IID_ICallerParam, &again), kFwSOk);
    ASSERT_EQ(again, static_cast<ICallerParam*>(p.Get()));
    EXPECT_EQ(p->QueryInterface(IID_IAppContext, &again), kFwENoInterface);
    EXPECT_EQ(again, nullptr);
    EXPECT_EQ(p->Release(), 1u); // the reference QueryInterface added
    EXPECT_EQ(p->AddRef(), 2u);
    EXPECT_EQ(p->Release(), 1u);
    // The holder's reference is the last; ASan reports a leak or a double free otherwise.
}
