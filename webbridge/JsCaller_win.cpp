#include "webbridge/JsCaller.h"

#include "foundation/ForeignCall.h"
#include "webbridge/ContextAccess.h"
#include "foundation/TextCodec.h"
#include "webbridge/AppFramework.h"
#include "webbridge/BoundaryGuard.h"
#include "webbridge/ParamPackers.h"

#include <windows.h>

class TJsCaller::TIntf final : public ICallJSInf {
public:
    explicit TIntf(TJsCaller& owner) : F(owner) {}

    TFwHResult APPFRAME_STDCALL QueryInterface(const TFwGuid& iid, void** object) override {
        if (object == nullptr) return kFwENoInterface;
        if (iid == IID_IFwUnknown || iid == IID_ICallJSInf) {
            *object = static_cast<ICallJSInf*>(this);
            return kFwSOk;
        }
        *object = nullptr;
        return kFwENoInterface;
    }
    uint32_t APPFRAME_STDCALL AddRef() override { return 1; }
    uint32_t APPFRAME_STDCALL Release() override { return 1; }

    TPasBool APPFRAME_STDCALL CallJsFunction(int32_t WebID, int32_t iCallerNo, const TVarRecAbi* arrParams,
                                             int32_t high) override {
        return GuardedSlot<TPasBool>("ICallJSInf.CallJsFunction", kPasFalse, [&] {
            return PasBool(F.CallJsFunction(WebID, iCallerNo, ArgsFromAbi(arrParams, high)));
        });
    }
    TPasBool APPFRAME_STDCALL CallJsFunctionText(int32_t WebID, int32_t iCallerNo,
                                                 const char* sRetParamData) override {
        return GuardedSlot<TPasBool>("ICallJSInf.CallJsFunction", kPasFalse, [&] {
            const std::string text = AnsiToUtf8(sRetParamData ? sRetParamData : "");
            return PasBool(F.CallJsFunction(WebID, iCallerNo, std::string_view(text)));
        });
    }
    TPasBool APPFRAME_STDCALL CallJsFunctionParam(ICallerParam* CallerParam, const TVarRecAbi* arrParams,
                                                  int32_t high) override {
        return GuardedSlot<TPasBool>("ICallJSInf.CallJsFunction", kPasFalse, [&] {
            return PasBool(F.CallJsFunction(CallerParam, ArgsFromAbi(arrParams, high)));
        });
    }
    TPasBool APPFRAME_STDCALL CallJsFunctionContext(IAppContext* CallerParam, const TVarRecAbi* arrParams,
                                                    int32_t high) override {
        return GuardedSlot<TPasBool>("ICallJSInf.CallJsFunction", kPasFalse, [&] {
            return PasBool(F.CallJsFunction(CallerParam, ArgsFromAbi(arrParams, high)));
        });
    }
    void APPFRAME_STDCALL getCallerParams(const char16_t* sParams, ICallerParam** result) override {
        TFwRef<ICallerParam> record;
        GuardedCall("ICallJSInf.getCallerParams", [&] {
            record = TFwRef<ICallerParam>(F.getCallerParams(Utf16ToUtf8(PasWideView(sParams))).Detach());
        });
        StoreOwned(result, std::move(record));
    }
    TPasBool APPFRAME_STDCALL CallRegisterFun(const char* sFunName, const TVarRecAbi* arrParams,
                                              int32_t high) override {
        return GuardedSlot<TPasBool>("ICallJSInf.CallRegisterFun", kPasFalse, [&] {
            return PasBool(
                F.CallRegisterFun(AnsiToUtf8(sFunName ? sFunName : ""), ArgsFromAbi(arrParams, high)));
        });
    }
    TPasBool APPFRAME_STDCALL TranParamToJsCallerInf(const TVarRecAbi* Args, int32_t high,
                                                     IJsCallerInf* aParams) override {
        return GuardedSlot<TPasBool>("ICallJSInf.TranParamToJsCallerInf", kPasFalse, [&] {
            return PasBool(F.TranParamToJsCallerInf(ArgsFromAbi(Args, high), aParams));
        });
    }

private:
    TJsCaller& F;
};

TJsCaller::TJsCaller(TAppFramework& owner) : FOwner(owner), FIntf(std::make_unique<TIntf>(*this)) {}

TJsCaller::~TJsCaller() = default;

ICallJSInf* TJsCaller::Intf() {
    return FIntf.get();
}

bool TJsCaller::CallJsFunction(int32_t WebID, int32_t iCallerNo, std::string_view sRetParamData) {
    FOwner.WriteLog("CallJsFunction iCallerNo=%d", {TVarRec::Integer(iCallerNo)});
    const std::string answer = Utf8ToAnsi(sRetParamData);
    const LRESULT result =
        SendMessageA(reinterpret_cast<HWND>(static_cast<intptr_t>(WebID)), kFwMsgAnswerCaller,
                     static_cast<WPARAM>(iCallerNo), reinterpret_cast<LPARAM>(answer.c_str()));
    const bool delivered = result == kFwMsgOk;
    FOwner.WriteLog("CallJsFunction iCallerNo=%d Result =%s",
                    {TVarRec::Integer(iCallerNo), TVarRec::Text(delivered ? "-1" : "0")});
    return delivered;
}

bool TJsCaller::CallJsFunction(int32_t WebID, int32_t iCallerNo, const TVarArgs& arrParams) {
    return CallJsFunction(WebID, iCallerNo, std::string_view(PackFunParamsText(arrParams)));
}

bool TJsCaller::CallJsFunction(ICallerParam* CallerParam, const TVarArgs& arrParams) {
    if (CallerParam == nullptr) throw std::invalid_argument("CallJsFunction: no caller parameters");
    return CallJsFunction(CallerParam->webId(), CallerParam->CallerID(), arrParams);
}

bool TJsCaller::CallJsFunction(IAppContext* CallerParam, const TVarArgs& arrParams) {
    if (CallerParam == nullptr) throw std::invalid_argument("CallJsFunction: no call context");
    return CallJsFunction(CallerParam->WebID(), CallerParam->CallerNo(), arrParams);
}

TFwRef<TCallerParam> TJsCaller::getCallerParams(std::string_view sParams) {
    return TCallerParam::Create(sParams);
}

bool TJsCaller::CallRegisterFun(std::string_view sFunName, const TVarArgs& arrParams) {
    const TCallRegisterFun fn = BindFrameworkExport(
        __CallRegisterFun, UseAltExports.load() ? kExpCallRegisterFunSim : kExpCallRegisterFun);
    TFwRef<IAppContext> context = FOwner.GetAppContext();
    if (!context) return false;
    auto params = ContextParams(*context);
    if (!params) return false;
    ::TranParamToJsCallerInf(arrParams, *params);
    const std::string name = Utf8ToAnsi(sFunName);
    return IsTrue(CallForeign(fn, name.c_str(), params.Get()));
}

bool TJsCaller::TranParamToJsCallerInf(const TVarArgs& Args, IJsCallerInf* aParams) {
    if (aParams == nullptr) throw std::invalid_argument("TranParamToJsCallerInf: no parameter list");
    return ::TranParamToJsCallerInf(Args, *aParams);
}
