// The call-context interfaces as foreign code sees them: operations reached by vtable slot, GUIDs
// byte for byte, and the in-memory context used by the stand-in library and by native tests.
#include "support/FakeAppContext.h"

#include "foundation/Json.h"
#include "foundation/TextCodec.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

static_assert(sizeof(TFwGuid) == 16, "GUID layout");

// Calls the operation at `position` (1-based, after the three counting slots) the way the
// library's callers do: through the raw table, with the object as first argument.
template <class R, class... A>
R CallSlot(void* object, int position, A... args) {
    using Fn = R(APPFRAME_STDCALL*)(void*, A...);
    void** table = *static_cast<void***>(object);
    return reinterpret_cast<Fn>(table[FwVtableIndex(position)])(object, args...);
}

template <class R, class... A>
R CallCountingSlot(void* object, int index, A... args) {
    using Fn = R(APPFRAME_STDCALL*)(void*, A...);
    void** table = *static_cast<void***>(object);
    return reinterpret_cast<Fn>(table[index])(object, args...);
}

std::string GuidText(const TFwGuid& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(g.Data1), g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2],
                  g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

struct TContextHolder {
    TFakeAppContext* Ctx;
    explicit TContextHolder(TFakeAppContext* c) : Ctx(c) {}
    ~TContextHolder() { Ctx->Release(); }
};

} // namespace

TEST(CallContextInterfaces, IdentifiersMatchTheirPublishedText) {
    EXPECT_EQ(GuidText(IID_IAppContext), "{77BDC84C-5B83-4844-9E98-A7F8A4FBCEA5}");
    EXPECT_EQ(GuidText(IID_IJsCallerInf), "{F856069E-F7FE-4010-8A38-3E7902D06AC8}");
    EXPECT_EQ(GuidText(IID_IControlParamsInf), "{60FDC766-3A8B-4099-8152-8EE674FA7A48}");
    EXPECT_EQ(GuidText(IID_IFwUnknown), "{00000000-0000-0000-C000-000000000046}");
    EXPECT_FALSE(IID_IAppContext == IID_IJsCallerInf);
}

TEST(CallContextInterfaces, ContextOperationsSitAtTheirSlots) {
    TContextHolder h(TFakeAppContext::Create(42, 0x1234, "app.userinfor"));
    void* ctx = static_cast<IAppContext*>(h.Ctx);
    EXPECT_EQ((CallSlot<int32_t>(ctx, 2)), 42);
    EXPECT_EQ((CallSlot<int32_t>(ctx, 3)), 0x1234);
    // Slots 4 and 5 answer through the hidden last argument with a reference the caller owns.
    IAppValues* values = nullptr;
    IJsCallerInf* list = nullptr;
    CallSlot<void>(ctx, 4, &values);
    CallSlot<void>(ctx, 5, &list);
    EXPECT_EQ(values, h.Ctx->GetValues().Get());
    EXPECT_EQ(list, h.Ctx->GetParams().Get());
    EXPECT_EQ(h.Ctx->RefCount(), 3u);
    // AddRef and Release are the second and third slots and share the context's count.
    EXPECT_EQ((CallCountingSlot<uint32_t>(ctx, 1)), 4u);
    EXPECT_EQ((CallCountingSlot<uint32_t>(list, 2)), 3u);
    values->Release();
    list->Release();
    EXPECT_EQ(h.Ctx->RefCount(), 1u);
}

TEST(CallContextInterfaces, NamedValueOperationsSitAtTheirSlots) {
    TContextHolder h(TFakeAppContext::Create());
    void* values = h.Ctx->GetValues().Get();
    CallSlot<void>(values, 3, "URL", "http://a/b");
    CallSlot<void>(values, 4, "Width", int32_t{900});
    CallSlot<void>(values, 6, "Fixed", PasBool(true));
    EXPECT_STREQ((CallSlot<const char*>(values, 7, "URL")), "http://a/b");
    EXPECT_STREQ((CallSlot<const char*>(values, 7, "Width")), "900");
    EXPECT_STREQ((CallSlot<const char*>(values, 7, "Fixed")), "true");
    EXPECT_STREQ((CallSlot<const char*>(values, 7, "Missing")), "");
    EXPECT_EQ((CallSlot<int32_t>(values, 12)), 3);
}

TEST(CallContextInterfaces, ParameterListOperationsSitAtTheirSlots) {
    TContextHolder h(TFakeAppContext::Create(5, 9, "fun"));
    void* list = h.Ctx->GetParams().Get();
    CallSlot<void>(list, 3, int32_t{jptText}, "abc");
    CallSlot<void>(list, 4, int32_t{jptInteger}, int32_t{-12});
    CallSlot<void>(list, 5, int32_t{jptFloat}, 2.5);
    CallSlot<void>(list, 6, int32_t{jptBoolean}, TPasBool{0xFFFFFF01u}); // one byte counts
    EXPECT_EQ((CallSlot<int32_t>(list, 11)), 4);
    EXPECT_STREQ((CallSlot<const char*>(list, 12, int32_t{0})), "abc");
    EXPECT_EQ((CallSlot<int32_t>(list, 14, int32_t{1}, int32_t{0})), -12);
    EXPECT_STREQ((CallSlot<const char*>(list, 12, int32_t{2})), "2.5");
    EXPECT_STREQ((CallSlot<const char*>(list, 12, int32_t{3})), "true");
    JsonRef sent = ParseJson((CallSlot<const char*>(list, 10)));
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->GetI("CallerNo"), 5);
    EXPECT_EQ(sent->GetI("WebID"), 9);
    EXPECT_EQ(sent->GetS("FunName"), "fun");
    EXPECT_EQ(PrintJson(sent->GetO("paramTypes")), "[4,0,3,1]");
    CallSlot<void>(list, 17, "done");
    EXPECT_STREQ((CallSlot<const char*>(list, 18)), "done");
}

TEST(CallContextInterfaces, QueryInterfaceAnswersTheContextAndItsListOnly) {
    TContextHolder h(TFakeAppContext::Create());
    void* out = nullptr;
    ASSERT_EQ(h.Ctx->QueryInterface(IID_IJsCallerInf, &out), kFwSOk);
    EXPECT_EQ(out, h.Ctx->GetParams().Get());
    EXPECT_EQ(h.Ctx->RefCount(), 2u);
    h.Ctx->Release();
    ASSERT_EQ(h.Ctx->GetParams()->QueryInterface(IID_IAppContext, &out), kFwSOk);
    EXPECT_EQ(out, static_cast<IAppContext*>(h.Ctx));
    h.Ctx->Release();
    EXPECT_EQ(h.Ctx->QueryInterface(IID_IControlParamsInf, &out), kFwENoInterface);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(TFakeAppContext::From(h.Ctx->GetValues().Get()), h.Ctx);
    EXPECT_EQ(h.Ctx->RefCount(), 1u); // recognising our own object adds no reference
}

TEST(FakeAppContext, ReadsCallerParametersAsAPageSendsThem) {
    TContextHolder h(TFakeAppContext::Create());
    ASSERT_TRUE(
        h.Ctx->LoadCallerParams(R"({"CallerNo":3,"WebID":77,"FunName":"msg.Get","paramTypes":[0,1,3,4,2],)"
                                R"("paramValues":[9007199254740993,true,1.25,"中文",5]})"));
    EXPECT_EQ(h.Ctx->CallerNo(), 3);
    EXPECT_EQ(h.Ctx->WebID(), 77);
    auto list = h.Ctx->GetParams();
    ASSERT_EQ(list->ParamCount(), 5);
    EXPECT_STREQ(list->ParamStr(0), "9007199254740993"); // 64-bit integers are not cut to double
    EXPECT_EQ(list->ParamInt(0, 0), INT32_MAX);          // clamped, never wrapped
    EXPECT_EQ(list->ParamInt(1, 0), 1);
    EXPECT_EQ(list->ParamInt(2, 0), 1);
    EXPECT_EQ(std::string(list->ParamStr(3)), Utf8ToAnsi("中文")); // texts cross as ANSI
    auto params = h.Ctx->ParamsSnapshot();
    EXPECT_EQ(params[4].Code, 2); // an unknown code keeps its number with an empty value
    EXPECT_EQ(params[4].Store, TFakeParam::sEmpty);
    EXPECT_STREQ(list->ParamStr(4), "");
}

TEST(FakeAppContext, ListsOfUnequalLengthGiveNoParameters) {
    TContextHolder h(TFakeAppContext::Create());
    ASSERT_TRUE(h.Ctx->LoadCallerParams(R"({"CallerNo":1,"paramTypes":[4,4,4],"paramValues":["a","b"]})"));
    EXPECT_EQ(h.Ctx->GetParams()->ParamCount(), 0);
    EXPECT_EQ(h.Ctx->CallerNo(), 1);
    EXPECT_FALSE(h.Ctx->LoadCallerParams("[1,2]"));
    EXPECT_FALSE(h.Ctx->LoadCallerParams("not json"));
}

TEST(FakeAppContext, OutOfRangeIndexesAnswerEmptyWithoutFailing) {
    TContextHolder h(TFakeAppContext::Create());
    auto list = h.Ctx->GetParams();
    list->AddStrParam(jptText, "x");
    EXPECT_STREQ(list->ParamStr(-1), "");
    EXPECT_STREQ(list->ParamStr(1), "");
    EXPECT_EQ(list->ParamInt(-1, 0), 0);
    EXPECT_EQ(list->ParamInt(1, 0), 0);
    list->AddStrParam(jptText, nullptr); // null text reads as empty
    EXPECT_STREQ(list->ParamStr(1), "");
    list->AddStrParam(jptText, "12abc");
    list->AddStrParam(jptText, "99999999999");
    EXPECT_EQ(list->ParamInt(2, 0), 12);
    EXPECT_EQ(list->ParamInt(3, 0), INT32_MAX);
}

TEST(FakeAppContext, WideIntegerThroughTheFloatOperationStaysAnInteger) {
    TContextHolder h(TFakeAppContext::Create());
    h.Ctx->GetParams()->AddFloatParam(jptInteger, 1700000000123.0);
    h.Ctx->GetParams()->AddFloatParam(jptFloat, 12.5);
    EXPECT_EQ(h.Ctx->ParamsJson(), R"({"paramTypes":[0,3],"paramValues":[1700000000123,12.5]})");
    EXPECT_STREQ(h.Ctx->GetParams()->ParamStr(0), "1700000000123");
}

TEST(FakeAppContext, NamedValuesReplaceByNameAndKeepTheirKinds) {
    TContextHolder h(TFakeAppContext::Create());
    h.Ctx->LoadValues(R"({"URL":"http://x","Width":900})");
    auto values = h.Ctx->GetValues();
    values->SetValue("URL", "http://y");
    values->SetBoolValue("HideHeadBar", kPasTrue);
    EXPECT_EQ(values->ValueCount(), 3);
    JsonRef v = ParseJson(h.Ctx->ValuesJson());
    ASSERT_TRUE(v);
    EXPECT_EQ(v->GetS("URL"), "http://y");
    EXPECT_TRUE(v->GetO("Width")->IsType(stInt));
    EXPECT_TRUE(v->GetO("HideHeadBar")->IsType(stBoolean));
}

TEST(FakeAppContext, ResultHookSeesEveryAnswerOutsideTheLock) {
    TContextHolder h(TFakeAppContext::Create(8, 1, "a.b"));
    std::vector<std::string> seen;
    h.Ctx->SetResultHook([&](TFakeAppContext& c, const std::string& text) {
        seen.push_back(text + "/" + c.GetParams()->Result()); // re-entering the context must not deadlock
    });
    h.Ctx->GetParams()->SetResult("one");
    h.Ctx->GetParams()->SetResult(nullptr);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], "one/one");
    EXPECT_EQ(seen[1], "/");
}
