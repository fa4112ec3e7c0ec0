#include "webbridge/CallerParam.h"

#include "foundation/AppLog.h"
#include "foundation/Json.h"
#include "foundation/TextCodec.h"
#include "webbridge/BoundaryGuard.h"

TFwRef<TCallerParam> TCallerParam::Create(std::string_view sParamsUtf8) {
    return TFwRef<TCallerParam>(new TCallerParam(sParamsUtf8));
}

TCallerParam::TCallerParam(std::string_view sParamsUtf8) {
    const JsonRef root = ParseJson(sParamsUtf8);
    if (!root || !root->IsType(stObject)) return;
    FCallerID = static_cast<int32_t>(root->GetI("CallerNo"));
    FWebId = static_cast<int32_t>(root->GetI("WebID"));
    Ffunname = root->GetS("FunName");

    const JsonRef types = root->GetO("paramTypes");
    const JsonRef values = root->GetO("paramValues");
    if (!types || !values || !types->IsType(stArray) || !values->IsType(stArray) ||
        types->Length() != values->Length())
        return;
    const size_t count = types->Length();
    arrParamType.resize(count);
    arrParamValue.resize(count);
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

void APPFRAME_STDCALL TCallerParam::FunName(char16_t** result) {
    GuardedCall("TCallerParam.FunName", [&] { PasWideAssign(result, Utf8ToUtf16(Ffunname)); });
}

void APPFRAME_STDCALL TCallerParam::ParamValue(int32_t idx, TPasVariant* result) {
    if (result == nullptr) return;
    GuardedCall("TCallerParam.ParamValue", [&] {
        PasVariantClear(*result);
        const TCallerValue& v = CheckedParamValue(idx);
        if (const auto* i = std::get_if<int64_t>(&v)) {
            result->VType = kVarInt64;
            result->VInt64 = *i;
        } else if (const auto* b = std::get_if<bool>(&v)) {
            result->VType = kVarBoolean;
            result->VBoolean = *b ? -1 : 0;
        } else if (const auto* d = std::get_if<double>(&v)) {
            result->VType = kVarDouble;
            result->VDouble = *d;
        } else if (const auto* text = std::get_if<std::string>(&v)) {
            // The caller frees the variant's wide string.
            result->VOleStr = PasWideAlloc(Utf8ToUtf16(*text));
            result->VType = kVarOleStr;
        }
    });
}
