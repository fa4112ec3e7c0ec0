#include "webbridge/ParamPackers.h"

#include "foundation/Json.h"
#include "foundation/ForeignCall.h"
#include "foundation/TextCodec.h"
#include "foundation/TextFormat.h"

#include <cmath>

EUnsupportedParam::EUnsupportedParam(int kind)
    : std::runtime_error("not support type: " + std::to_string(kind)) {}

namespace {

int KindNumber(const TVarRec& v) {
    return static_cast<int>(v.VType);
}

std::string Quoted(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "\\'";
        else
            out.push_back(c);
    }
    out += "'";
    return out;
}

// Script literals for numbers the general format cannot write as script ("NAN" would be an
// unknown name and fail the whole call).
std::string ScriptFloat(double v) {
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v < 0 ? "-Infinity" : "Infinity";
    return FloatToGeneral(v, 15);
}

std::string ScriptValue(const TVarRec& v) {
    if (IsTextKind(v.VType)) return Quoted(v.VText);
    switch (v.VType) {
    case TVarKind::vtInteger:
        return std::to_string(static_cast<int32_t>(v.VInt));
    case TVarKind::vtInt64:
        return std::to_string(v.VInt);
    case TVarKind::vtBoolean:
        return v.VInt != 0 ? "true" : "false";
    case TVarKind::vtExtended:
        return ScriptFloat(v.VFloat);
    case TVarKind::vtCurrency:
        return CurrencyToText(v.VInt);
    case TVarKind::vtPointer:
        if (v.VPointer == nullptr) return "null";
        break;
    default:
        break;
    }
    throw EUnsupportedParam(KindNumber(v));
}

} // namespace

std::string ScriptCallText(std::string_view method, const TVarArgs& args) {
    std::string text(method);
    text += "(";
    for (size_t i = 0; i < args.size(); ++i) {
        if (i != 0) text += ",";
        text += ScriptValue(args[i]);
    }
    text += ");";
    return text;
}

std::string PackFunParamsText(const TVarArgs& args) {
    JsonRef types = NewJsonArray();
    JsonRef values = NewJsonArray();
    for (const TVarRec& v : args) {
        int code = jptText;
        JsonRef value;
        if (IsTextKind(v.VType)) {
            value = NewJsonString(v.VText);
        } else {
            switch (v.VType) {
            case TVarKind::vtInteger:
                code = jptInteger;
                value = NewJsonInt(static_cast<int32_t>(v.VInt));
                break;
            case TVarKind::vtInt64:
                code = jptInteger;
                value = NewJsonInt(v.VInt);
                break;
            case TVarKind::vtBoolean:
                code = jptBoolean;
                value = NewJsonBool(v.VInt != 0);
                break;
            case TVarKind::vtExtended:
                code = jptFloat;
                value = NewJsonDouble(v.VFloat);
                break;
            case TVarKind::vtCurrency:
                code = jptFloat;
                value = NewJsonDouble(static_cast<double>(v.VInt) / 10000.0);
                break;
            case TVarKind::vtPointer:
                value = NewJsonString("");
                break;
            default:
                throw EUnsupportedParam(KindNumber(v));
            }
        }
        types->Add(NewJsonInt(code));
        values->Add(value);
    }
    JsonRef root = NewJsonObject();
    root->PutO("paramTypes", types);
    root->PutO("paramValues", values);
    return PrintJson(root);
}

bool TranParamToJsCallerInf(const TVarArgs& args, IJsCallerInf& aParams) {
    for (const TVarRec& v : args) {
        if (IsTextKind(v.VType)) {
            CallForeign(&IJsCallerInf::AddStrParam, &aParams, jptText, Utf8ToAnsi(v.VText).c_str());
            continue;
        }
        switch (v.VType) {
        case TVarKind::vtInteger:
            CallForeign(&IJsCallerInf::AddIntParam, &aParams, jptInteger, static_cast<int32_t>(v.VInt));
            break;
        case TVarKind::vtBoolean:
            CallForeign(&IJsCallerInf::AddBoolParam, &aParams, jptBoolean, PasBool(v.VInt != 0));
            break;
        case TVarKind::vtExtended:
            CallForeign(&IJsCallerInf::AddFloatParam, &aParams, jptFloat, v.VFloat);
            break;
        case TVarKind::vtCurrency:
            CallForeign(&IJsCallerInf::AddFloatParam, &aParams, jptFloat,
                        static_cast<double>(v.VInt) / 10000.0);
            break;
        case TVarKind::vtInt64:
            // The list has no 64-bit integer operation; the library reads code 0 from a double.
            CallForeign(&IJsCallerInf::AddFloatParam, &aParams, jptInteger, static_cast<double>(v.VInt));
            break;
        case TVarKind::vtPointer:
            if (v.VPointer == nullptr) {
                CallForeign(&IJsCallerInf::AddStrParam, &aParams, jptText, "null");
                break;
            }
            throw EUnsupportedParam(KindNumber(v));
        default:
            throw EUnsupportedParam(KindNumber(v));
        }
    }
    return true;
}

TVarArgs ArgsFromAbi(const TVarRecAbi* args, int32_t high) {
    TVarArgs out;
    const int32_t count = args == nullptr ? 0 : PasOpenCount(high);
    out.reserve(static_cast<size_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        const TVarRecAbi& a = args[i];
        const auto kind = static_cast<TVarKind>(a.VType);
        switch (kind) {
        case TVarKind::vtInteger:
            out.push_back(TVarRec::Integer(a.VInteger));
            break;
        case TVarKind::vtBoolean:
            out.push_back(TVarRec::Boolean(a.VBoolean != 0));
            break;
        case TVarKind::vtChar:
            out.push_back(TVarRec::Text(AnsiToUtf8(std::string(1, a.VChar)), kind));
            break;
        case TVarKind::vtExtended:
            out.push_back(TVarRec::Extended(PasExtendedToDouble(a.VExtended)));
            break;
        case TVarKind::vtString:
            out.push_back(TVarRec::Text(AnsiToUtf8(PasShortView(a.VString)), kind));
            break;
        case TVarKind::vtPChar:
            out.push_back(TVarRec::Text(AnsiToUtf8(a.VPChar ? a.VPChar : ""), kind));
            break;
        case TVarKind::vtAnsiString:
            out.push_back(TVarRec::Text(AnsiToUtf8(PasAnsiView(a.VAnsiString)), kind));
            break;
        case TVarKind::vtWideChar:
            out.push_back(TVarRec::Text(Utf16ToUtf8(std::u16string(1, a.VWideChar)), kind));
            break;
        case TVarKind::vtPWideChar:
            out.push_back(TVarRec::Text(Utf16ToUtf8(a.VPWideChar ? a.VPWideChar : u""), kind));
            break;
        case TVarKind::vtWideString:
            out.push_back(TVarRec::Text(Utf16ToUtf8(PasWideView(a.VWideString)), kind));
            break;
        case TVarKind::vtUnicodeString:
            out.push_back(TVarRec::Text(Utf16ToUtf8(PasUnicodeView(a.VUnicodeString)), kind));
            break;
        case TVarKind::vtCurrency:
            out.push_back(TVarRec::Currency(a.VCurrency ? *a.VCurrency : 0));
            break;
        case TVarKind::vtInt64:
            out.push_back(TVarRec::Int64(a.VInt64 ? *a.VInt64 : 0));
            break;
        default: // pointers and the kinds no packer carries keep their kind
            out.push_back(TVarRec::Pointer(a.VPointer, kind));
            break;
        }
    }
    return out;
}
