#include "webbridge/CallerParam.h"

#include "foundation/AppLog.h"
#include "foundation/Json.h"
#include "foundation/TextCodec.h"

TFwRef<TCallerParam> TCallerParam::Create(std::string_view sParamsUtf8) {
    return TFwRef<TCallerParam>(new TCallerParam(sParamsUtf8));
}

TCallerParam::TCallerParam(std::string_view sParamsUtf8) {
    const JsonRef root = ParseJson(sParamsUtf8);
    if (!root || !root->IsType(stObject)) return;
    FCallerID = static_cast<int32_t>(root->GetI("CallerNo"));
    FWebId = static_cast<int32_t>(root->GetI("WebID"));
    Ffunname = root->GetS("FunName");
    FWideFunName = Utf8ToUtf16(Ffunname);

    const JsonRef types = root->GetO("paramTypes");
    const JsonRef values = root->GetO("paramValues");
    if (!types || !values || !types->IsType(stArray) || !values->IsType(stArray) ||
        types->Length() != values->Length())
        return;
    const size_t count = types->Length();
    arrParamType.resize(count);
    arrParamValue.resize(count);
    FWideTexts.resize(count);
    for (size_t i = 0; i < count; ++i) {
        const int32_t code = static_cast<int32_t>(types->I(i));
        arrParamType[i] = code;
        switch (code) {
        case jptInteger:
            arrParamValue[i] = values->I(i);
            break;
        case jptBoolean:
            arrParamValue[i] = values->B(i);
            break;
        case jptFloat:
            arrParamValue[i] = values->D(i);
            break;
        case jptText:
            arrParamValue[i] = values->S(i);
            FWideTexts[i] = Utf8ToUtf16(std::get<std::string>(arrParamValue[i]));
            break;
        default:
            break;
        }
    }
}

void TCallerParam::CheckIndex(const char* operation, int32_t idx) const {
    const auto count = static_cast<int32_t>(arrParamType.size());
    if (idx >= 0 && idx < count) return;
    throw ECallerParamRange(std::string("TCallerParam.") + operation + "[" + Ffunname + "]下载越界" +
                            std::to_string(idx) + "/" + std::to_string(count));
}

int32_t TCallerParam::CheckedParamType(int32_t idx) const {
    CheckIndex("ParamType", idx);
    return arrParamType[static_cast<size_t>(idx)];
}

const TCallerValue& TCallerParam::CheckedParamValue(int32_t idx) const {
    CheckIndex("ParamValue", idx);
    return arrParamValue[static_cast<size_t>(idx)];
}

TFwHResult APPFRAME_STDCALL TCallerParam::QueryInterface(const TFwGuid& iid, void** object) {
    if (object == nullptr) return kFwENoInterface;
    if (iid == IID_IFwUnknown || iid == IID_ICallerParam) {
        *object = static_cast<ICallerParam*>(this);
        AddRef();
        return kFwSOk;
    }
    *object = nullptr;
    return kFwENoInterface;
}

uint32_t APPFRAME_STDCALL TCallerParam::AddRef() {
    return FRefCount.fetch_add(1, std::memory_order_relaxed) + 1;
}

uint32_t APPFRAME_STDCALL TCallerParam::Release() {
    const uint32_t left = FRefCount.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
}

int32_t APPFRAME_STDCALL TCallerParam::ParamType(int32_t idx) {
    try {
        return CheckedParamType(idx);
    } catch (const std::exception& e) {
        WriteAppLog(e.what());
        return -1;
    }
}

TFwBool APPFRAME_STDCALL TCallerParam::ParamValue(int32_t idx, TVariantAbi* value) {
    if (value == nullptr) return 0;
    *value = TVariantAbi{};
    try {
        const TCallerValue& v = CheckedParamValue(idx);
        if (const auto* i = std::get_if<int64_t>(&v)) {
            value->VType = kVarInt64;
            value->VInt64 = *i;
        } else if (const auto* b = std::get_if<bool>(&v)) {
            value->VType = kVarBoolean;
            value->VBoolean = *b ? 1 : 0;
        } else if (const auto* d = std::get_if<double>(&v)) {
            value->VType = kVarDouble;
            value->VDouble = *d;
        } else if (std::holds_alternative<std::string>(v)) {
            value->VType = kVarText;
            value->VText = FWideTexts[static_cast<size_t>(idx)].c_str();
        }
        return 1;
    } catch (const std::exception& e) {
        WriteAppLog(e.what());
        return 0;
    }
}
