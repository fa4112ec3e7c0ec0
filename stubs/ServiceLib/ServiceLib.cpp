// Functions a page reaches as "<library>.<function>". Each takes the call context, leaves its
// answer as the parameter list's return text and reports success as a one-byte Boolean.
#include "webbridge/AppContextIntf.h"

#include <cstdint>
#include <string>

namespace {

// "Echo:" + the parameters joined by "|", bytes as the list holds them (ANSI).
std::string Joined(IJsCallerInf& params) {
    std::string text = "Echo:";
    for (int32_t i = 0; i < params.ParamCount(); ++i) {
        if (i) text += '|';
        text += params.ParamStr(i);
    }
    return text;
}

} // namespace

extern "C" {

__declspec(dllexport) uint8_t APPFRAME_STDCALL Echo(IAppContext* aContext) {
    if (!aContext) return 0;
    auto params = aContext->GetParams();
    params->SetResult(Joined(*params).c_str());
    return 1;
}

// Leaves a text but reports failure: the caller must not answer it.
__declspec(dllexport) uint8_t APPFRAME_STDCALL Refuse(IAppContext* aContext) {
    if (aContext) aContext->GetParams()->SetResult("refused");
    return 0;
}

// Success in the low byte only, with garbage above it, as a one-byte Boolean may come back.
__declspec(dllexport) uint32_t APPFRAME_STDCALL WideTrue(IAppContext* aContext) {
    if (aContext) aContext->GetParams()->SetResult("wide");
    return 0xABCD0001u;
}

// Garbage above a false low byte.
__declspec(dllexport) uint32_t APPFRAME_STDCALL WideFalse(IAppContext* aContext) {
    if (aContext) aContext->GetParams()->SetResult("wide");
    return 0xABCD0100u;
}
}
