#include "FakeAppContext.h"

#include "foundation/Json.h"
#include "foundation/TextCodec.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace {

std::string Str(const char* s) {
    return s ? std::string(s) : std::string();
}

int32_t ClampToInt32(int64_t v) {
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

bool IsWholeNumber(double v) {
    return std::isfinite(v) && std::fabs(v) < 1e15 && v == std::trunc(v);
}

JsonRef ParamJsonValue(const TFakeParam& p) {
    switch (p.Store) {
    case TFakeParam::sText:
        return NewJsonString(AnsiToUtf8(p.Text));
    case TFakeParam::sInt:
        return NewJsonInt(p.Int);
    case TFakeParam::sFloat:
        // A 64-bit integer travels through the floating-point operation with code 0.
        if (p.Code == jptInteger && IsWholeNumber(p.Float)) return NewJsonInt(static_cast<int64_t>(p.Float));
        return NewJsonDouble(p.Float);
    case TFakeParam::sBool:
        return NewJsonBool(p.Bool);
    case TFakeParam::sEmpty:
        break;
    }
    return NewJsonNull();
}

std::string ValueText(const TFakeValue& v) {
    switch (v.Store) {
    case TFakeValue::sInt:
        return std::to_string(v.Int);
    case TFakeValue::sBool:
        return v.Bool ? "true" : "false";
    case TFakeValue::sText:
        break;
    }
    return v.Text;
}

} // namespace

std::string FakeParamText(const TFakeParam& p) {
    switch (p.Store) {
    case TFakeParam::sText:
        return p.Text;
    case TFakeParam::sInt:
        return std::to_string(p.Int);
    case TFakeParam::sFloat: {
        if (IsWholeNumber(p.Float)) return std::to_string(static_cast<int64_t>(p.Float));
        char buf[64];
        std::snprintf(buf, sizeof buf, "%.15g", p.Float);
        return buf;
    }
    case TFakeParam::sBool:
        return p.Bool ? "true" : "false";
    case TFakeParam::sEmpty:
        break;
    }
    return {};
}

TFakeAppContext::TFakeAppContext(int32_t callerNo, int32_t webId, std::string funName)
    : FCallerNo(callerNo), FWebID(webId), FFunName(std::move(funName)) {}

TFakeAppContext* TFakeAppContext::Create(int32_t callerNo, int32_t webId, std::string funNameAnsi) {
    return new TFakeAppContext(callerNo, webId, std::move(funNameAnsi));
}

TFakeAppContext* TFakeAppContext::From(IFwUnknown* intf) {
    void* p = nullptr;
    if (intf && intf->QueryInterface(IID_TFakeAppContext, &p) == kFwSOk)
        return static_cast<TFakeAppContext*>(p);
    return nullptr;
}

bool TFakeAppContext::LoadCallerParams(std::string_view utf8Json) {
    JsonRef doc = ParseJson(utf8Json);
    if (!doc || !doc->IsType(stObject)) return false;
    std::vector<TFakeParam> params;
    JsonRef types = doc->GetO("paramTypes");
    JsonRef values = doc->GetO("paramValues");
    if (types && values && types->IsType(stArray) && values->IsType(stArray) &&
        types->Length() == values->Length()) {
        for (size_t i = 0; i < types->Length(); ++i) {
            TFakeParam p;
            p.Code = ClampToInt32(types->I(i));
            switch (p.Code) {
            case jptInteger:
                p.Store = TFakeParam::sInt, p.Int = values->I(i);
                break;
            case jptBoolean:
                p.Store = TFakeParam::sBool, p.Bool = values->B(i);
                break;
            case jptFloat:
                p.Store = TFakeParam::sFloat, p.Float = values->D(i);
                break;
            case jptText:
                p.Store = TFakeParam::sText, p.Text = Utf8ToAnsi(values->S(i));
                break;
            default:
                break;
            }
            params.push_back(std::move(p));
        }
    }
    std::lock_guard<std::mutex> lock(FLock);
    FCallerNo = ClampToInt32(doc->GetI("CallerNo"));
    FWebID = ClampToInt32(doc->GetI("WebID"));
    FFunName = Utf8ToAnsi(doc->GetS("FunName"));
    FParams = std::move(params);
    return true;
}

void TFakeAppContext::LoadValues(std::string_view utf8Json) {
    JsonRef doc = ParseJson(utf8Json);
    if (!doc || !doc->IsType(stObject)) return;
    for (const std::string& key : doc->Keys()) {
        JsonRef v = doc->GetO(key);
        TFakeValue fv;
        fv.Name = Utf8ToAnsi(key);
        if (v && v->IsType(stInt)) {
            fv.Store = TFakeValue::sInt, fv.Int = ClampToInt32(v->AsInteger());
        } else if (v && v->IsType(stBoolean)) {
            fv.Store = TFakeValue::sBool, fv.Bool = v->AsBoolean();
        } else {
            fv.Text = v ? Utf8ToAnsi(v->AsString()) : std::string();
        }
        PutValue(std::move(fv));
    }
}

void TFakeAppContext::SetResultHook(std::function<void(TFakeAppContext&, const std::string&)> hook) {
    std::lock_guard<std::mutex> lock(FLock);
    FResultHook = std::move(hook);
}

std::vector<TFakeParam> TFakeAppContext::ParamsSnapshot() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FParams;
}

std::vector<TFakeValue> TFakeAppContext::ValuesSnapshot() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FValues;
}

std::string TFakeAppContext::ResultText() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FResult;
}

std::string TFakeAppContext::FunName() const {
    std::lock_guard<std::mutex> lock(FLock);
    return FFunName;
}

std::string TFakeAppContext::ParamsJson() const {
    JsonRef obj = NewJsonObject(), types = NewJsonArray(), values = NewJsonArray();
    {
        std::lock_guard<std::mutex> lock(FLock);
        for (const TFakeParam& p : FParams) {
            types->Add(NewJsonInt(p.Code));
            values->Add(ParamJsonValue(p));
        }
    }
    obj->PutO("paramTypes", types);
    obj->PutO("paramValues", values);
    return PrintJson(obj);
}

std::string TFakeAppContext::ValuesJson() const {
    JsonRef obj = NewJsonObject();
    std::lock_guard<std::mutex> lock(FLock);
    for (const TFakeValue& v : FValues) {
        std::string name = AnsiToUtf8(v.Name);
        if (v.Store == TFakeValue::sInt)
            obj->PutI(name, v.Int);
        else if (v.Store == TFakeValue::sBool)
            obj->PutB(name, v.Bool);
        else
            obj->PutS(name, AnsiToUtf8(v.Text));
    }
    return PrintJson(obj);
}

std::string TFakeAppContext::CallerParamJsonLocked() const {
    JsonRef obj = NewJsonObject(), types = NewJsonArray(), values = NewJsonArray();
    obj->PutI("CallerNo", FCallerNo);
    obj->PutI("WebID", FWebID);
    obj->PutS("FunName", AnsiToUtf8(FFunName));
    for (const TFakeParam& p : FParams) {
        types->Add(NewJsonInt(p.Code));
        values->Add(ParamJsonValue(p));
    }
    obj->PutO("paramTypes", types);
    obj->PutO("paramValues", values);
    return Utf8ToAnsi(PrintJson(obj));
}

void TFakeAppContext::Append(TFakeParam p) {
    std::lock_guard<std::mutex> lock(FLock);
    FParams.push_back(std::move(p));
}

void TFakeAppContext::PutValue(TFakeValue v) {
    std::lock_guard<std::mutex> lock(FLock);
    for (TFakeValue& existing : FValues) {
        if (existing.Name == v.Name) {
            existing = std::move(v);
            return;
        }
    }
    FValues.push_back(std::move(v));
}

TFwHResult APPFRAME_STDCALL TFakeAppContext::QueryInterface(const TFwGuid& iid, void** object) {
    if (!object) return kFwENoInterface;
    *object = nullptr;
    if (iid == IID_TFakeAppContext) {
        *object = this;
        return kFwSOk;
    }
    if (iid == IID_IFwUnknown || iid == IID_IAppContext)
        *object = static_cast<IAppContext*>(this);
    else if (iid == IID_IJsCallerInf)
        *object = static_cast<IJsCallerInf*>(&FParamsIntf);
    else
        return kFwENoInterface;
    AddRef();
    return kFwSOk;
}

uint32_t APPFRAME_STDCALL TFakeAppContext::AddRef() {
    return ++FRefCount;
}

uint32_t APPFRAME_STDCALL TFakeAppContext::Release() {
    uint32_t left = --FRefCount;
    if (left == 0) delete this;
    return left;
}

void APPFRAME_STDCALL TFakeAppContext::Values(IAppValues** result) {
    if (result == nullptr) return;
    if (*result != nullptr) (*result)->Release();
    FValuesIntf.AddRef();
    *result = &FValuesIntf;
}

void APPFRAME_STDCALL TFakeAppContext::Params(IJsCallerInf** result) {
    if (result == nullptr) return;
    if (*result != nullptr) (*result)->Release();
    FParamsIntf.AddRef();
    *result = &FParamsIntf;
}

int32_t APPFRAME_STDCALL TFakeAppContext::CallerNo() {
    std::lock_guard<std::mutex> lock(FLock);
    return FCallerNo;
}

int32_t APPFRAME_STDCALL TFakeAppContext::WebID() {
    std::lock_guard<std::mutex> lock(FLock);
    return FWebID;
}

// ---- named values ----

TFwHResult APPFRAME_STDCALL TFakeAppContext::TValuesIntf::QueryInterface(const TFwGuid& iid, void** object) {
    return FOwner.QueryInterface(iid, object);
}

void APPFRAME_STDCALL TFakeAppContext::TValuesIntf::SetValue(const char* name, const char* value) {
    TFakeValue v;
    v.Name = Str(name), v.Text = Str(value);
    FOwner.PutValue(std::move(v));
}

void APPFRAME_STDCALL TFakeAppContext::TValuesIntf::SetIntValue(const char* name, int32_t value) {
    TFakeValue v;
    v.Name = Str(name), v.Store = TFakeValue::sInt, v.Int = value;
    FOwner.PutValue(std::move(v));
}

void APPFRAME_STDCALL TFakeAppContext::TValuesIntf::SetBoolValue(const char* name, TPasBool value) {
    TFakeValue v;
    v.Name = Str(name), v.Store = TFakeValue::sBool, v.Bool = IsTrue(value);
    FOwner.PutValue(std::move(v));
}

const char* APPFRAME_STDCALL TFakeAppContext::TValuesIntf::GetValue(const char* name) {
    std::string key = Str(name);
    std::lock_guard<std::mutex> lock(FOwner.FLock);
    FOut.clear();
    for (const TFakeValue& v : FOwner.FValues)
        if (v.Name == key) FOut = ValueText(v);
    return FOut.c_str();
}

int32_t APPFRAME_STDCALL TFakeAppContext::TValuesIntf::ValueCount() {
    std::lock_guard<std::mutex> lock(FOwner.FLock);
    return static_cast<int32_t>(FOwner.FValues.size());
}

// ---- parameter list ----

TFwHResult APPFRAME_STDCALL TFakeAppContext::TParamsIntf::QueryInterface(const TFwGuid& iid, void** object) {
    return FOwner.QueryInterface(iid, object);
}

void APPFRAME_STDCALL TFakeAppContext::TParamsIntf::AddStrParam(int32_t typeCode, const char* value) {
    TFakeParam p;
    p.Code = typeCode, p.Store = TFakeParam::sText, p.Text = Str(value);
    FOwner.Append(std::move(p));
}

void APPFRAME_STDCALL TFakeAppContext::TParamsIntf::AddIntParam(int32_t typeCode, int32_t value) {
    TFakeParam p;
    p.Code = typeCode, p.Store = TFakeParam::sInt, p.Int = value;
    FOwner.Append(std::move(p));
}

void APPFRAME_STDCALL TFakeAppContext::TParamsIntf::AddFloatParam(int32_t typeCode, double value) {
    TFakeParam p;
    p.Code = typeCode, p.Store = TFakeParam::sFloat, p.Float = value;
    FOwner.Append(std::move(p));
}

void APPFRAME_STDCALL TFakeAppContext::TParamsIntf::AddBoolParam(int32_t typeCode, TPasBool value) {
    TFakeParam p;
    p.Code = typeCode, p.Store = TFakeParam::sBool, p.Bool = IsTrue(value);
    FOwner.Append(std::move(p));
}

const char* APPFRAME_STDCALL TFakeAppContext::TParamsIntf::ParamText() {
    std::lock_guard<std::mutex> lock(FOwner.FLock);
    FOut = FOwner.CallerParamJsonLocked();
    return FOut.c_str();
}

int32_t APPFRAME_STDCALL TFakeAppContext::TParamsIntf::ParamCount() {
    std::lock_guard<std::mutex> lock(FOwner.FLock);
    return static_cast<int32_t>(FOwner.FParams.size());
}

const char* APPFRAME_STDCALL TFakeAppContext::TParamsIntf::ParamStr(int32_t index) {
    std::lock_guard<std::mutex> lock(FOwner.FLock);
    FOut.clear();
    if (index >= 0 && static_cast<size_t>(index) < FOwner.FParams.size())
        FOut = FakeParamText(FOwner.FParams[static_cast<size_t>(index)]);
    return FOut.c_str();
}

int32_t APPFRAME_STDCALL TFakeAppContext::TParamsIntf::ParamInt(int32_t index, int32_t) {
    std::lock_guard<std::mutex> lock(FOwner.FLock);
    if (index < 0 || static_cast<size_t>(index) >= FOwner.FParams.size()) return 0;
    const TFakeParam& p = FOwner.FParams[static_cast<size_t>(index)];
    switch (p.Store) {
    case TFakeParam::sInt:
        return ClampToInt32(p.Int);
    case TFakeParam::sFloat:
        if (!std::isfinite(p.Float)) return 0;
        if (p.Float >= 2147483647.0) return std::numeric_limits<int32_t>::max();
        if (p.Float <= -2147483648.0) return std::numeric_limits<int32_t>::min();
        return static_cast<int32_t>(p.Float);
    case TFakeParam::sBool:
        return p.Bool ? 1 : 0;
    case TFakeParam::sText: {
        errno = 0;
        char* end = nullptr;
        long long v = std::strtoll(p.Text.c_str(), &end, 10);
        if (end == p.Text.c_str() || errno == ERANGE) return 0;
        return ClampToInt32(v);
    }
    case TFakeParam::sEmpty:
        break;
    }
    return 0;
}

void APPFRAME_STDCALL TFakeAppContext::TParamsIntf::SetResult(const char* value) {
    std::string text = Str(value);
    std::function<void(TFakeAppContext&, const std::string&)> hook;
    {
        std::lock_guard<std::mutex> lock(FOwner.FLock);
        FOwner.FResult = text;
        hook = FOwner.FResultHook;
    }
    if (hook) hook(FOwner, text);
}

const char* APPFRAME_STDCALL TFakeAppContext::TParamsIntf::Result() {
    std::lock_guard<std::mutex> lock(FOwner.FLock);
    FOut = FOwner.FResult;
    return FOut.c_str();
}
