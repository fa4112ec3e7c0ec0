#include "webbridge/AppContext.h"

#include "foundation/ForeignCall.h"
#include "foundation/Json.h"
#include "foundation/TextCodec.h"
#include "webbridge/AppFramework.h"
#include "webbridge/BoundaryGuard.h"

#include <windows.h>

class TAppContext::TIntf final : public IRegAppContext {
public:
    explicit TIntf(TAppContext& owner) : F(owner) {}

    TFwHResult APPFRAME_STDCALL QueryInterface(const TFwGuid& iid, void** object) override {
        if (object == nullptr) return kFwENoInterface;
        if (iid == IID_IFwUnknown || iid == IID_IRegAppContext) {
            *object = static_cast<IRegAppContext*>(this);
            return kFwSOk;
        }
        *object = nullptr;
        return kFwENoInterface;
    }
    uint32_t APPFRAME_STDCALL AddRef() override { return 1; }
    uint32_t APPFRAME_STDCALL Release() override { return 1; }

    TPasBool APPFRAME_STDCALL RegContext(const char* sContextName, void* pContent) override {
        return GuardedSlot<TPasBool>("IRegAppContext.RegContext", kPasFalse,
                                     [&] { return PasBool(F.RegContext(Name(sContextName), pContent)); });
    }
    TPasBool APPFRAME_STDCALL UnRegContext(const char* sContextName, void* pContent) override {
        return GuardedSlot<TPasBool>("IRegAppContext.UnRegContext", kPasFalse,
                                     [&] { return PasBool(F.UnRegContext(Name(sContextName), pContent)); });
    }
    void* APPFRAME_STDCALL GetContext(const char* sContextName) override {
        return GuardedSlot<void*>("IRegAppContext.GetContext", nullptr,
                                  [&] { return F.GetContext(Name(sContextName)); });
    }

private:
    static std::string Name(const char* ansi) { return AnsiToUtf8(ansi ? ansi : ""); }
    TAppContext& F;
};

TAppContext::TAppContext() : FIntf(std::make_unique<TIntf>(*this)) {}

TAppContext::~TAppContext() = default;

IRegAppContext* TAppContext::Intf() {
    return FIntf.get();
}

bool TAppContext::RegContext(std::string_view sContextName, void* pContent) {
    const TRegContext fn = BindFrameworkExport(__RegContext, kExpRegContext);
    return IsTrue(CallForeign(fn, Utf8ToAnsi(sContextName).c_str(), pContent));
}

bool TAppContext::UnRegContext(std::string_view sContextName, void* pContent) {
    const TUnRegContext fn = BindFrameworkExport(__UnRegContext, kExpUnRegContext);
    return IsTrue(CallForeign(fn, Utf8ToAnsi(sContextName).c_str(), pContent));
}

void* TAppContext::GetContext(std::string_view sContextName) {
    const TGetContext fn = BindFrameworkExport(__GetContext, kExpGetContext);
    return CallForeign(fn, Utf8ToAnsi(sContextName).c_str());
}

bool TPsScript::RunScript(std::string_view sScript, std::string& sErrMsg) {
    sErrMsg.clear();
    std::unique_ptr<char[]> buffer(new char[kScriptErrorBufferSize]());
    const std::string script = Utf8ToAnsi(sScript);
    const LRESULT result =
        SendMessageA(reinterpret_cast<HWND>(FAppFram.GetMainHandle()), kFwMsgRunMainScript,
                     reinterpret_cast<WPARAM>(script.c_str()), reinterpret_cast<LPARAM>(buffer.get()));
    if (result != kFwMsgOk) sErrMsg = AnsiToUtf8(TextInBuffer(buffer.get(), kScriptErrorBufferSize));
    return result == kFwMsgOk;
}

std::string TPsScript::ToJson() const {
    const JsonRef json = NewJsonObject();
    json->PutO("FAppFram", nullptr);
    return PrintJson(json);
}
