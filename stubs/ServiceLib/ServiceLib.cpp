// Functions a page reaches as "<library>.<function>". Each takes the call context, leaves its
// answer as the parameter list's return text and reports success as a one-byte Boolean.
#include "webbridge/AppContextIntf.h"
#include "webbridge/AppFrameworkContract.h"

#include <windows.h>

#include <cstdint>
#include <exception>
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

// Asks the framework's main window to run the first parameter as a script (message 6036), as a
// library of the program does, and answers "ran" or the framework's error text.
__declspec(dllexport) uint8_t APPFRAME_STDCALL RunMainScript(IAppContext* aContext) try {
    if (!aContext) return 0;
    auto params = aContext->GetParams();
    const std::string script = params->ParamCount() > 0 ? params->ParamStr(0) : "";
    using TGetMainHandle = TFwHandle(APPFRAME_STDCALL*)();
    HMODULE framework = GetModuleHandleA(kFrameworkLibName);
    auto getMain = framework ? reinterpret_cast<TGetMainHandle>(
                                   reinterpret_cast<void*>(GetProcAddress(framework, kExpGetMainHandle)))
                             : nullptr;
    HWND main = getMain ? reinterpret_cast<HWND>(getMain()) : nullptr;
    if (!main) {
        params->SetResult("no main window");
        return 1;
    }
    std::string buffer(kScriptErrorBufferSize, '\0');
    const LRESULT answer = SendMessageA(main, kFwMsgRunMainScript, reinterpret_cast<WPARAM>(script.c_str()),
                                        reinterpret_cast<LPARAM>(&buffer[0]));
    params->SetResult(answer == kFwMsgOk ? "ran" : buffer.c_str());
    return 1;
} catch (const std::exception&) {
    return 0;
}

// Asks the framework to run the first parameter as a script in the calling page (message 2025 to
// the call's WebID), as a library of the program does, and answers "ran" when the framework
// reported it run, otherwise "not run".
__declspec(dllexport) uint8_t APPFRAME_STDCALL RunPageScript(IAppContext* aContext) try {
    if (!aContext) return 0;
    auto params = aContext->GetParams();
    const std::string script = params->ParamCount() > 0 ? params->ParamStr(0) : "";
    HWND page = reinterpret_cast<HWND>(static_cast<intptr_t>(aContext->WebID()));
    const LRESULT answer =
        SendMessageA(page, kFwMsgRunScript, reinterpret_cast<WPARAM>(script.c_str()), kFwRunScriptFlag);
    params->SetResult(answer == kFwMsgOk ? "ran" : "not run");
    return 1;
} catch (const std::exception&) {
    return 0;
}

// Garbage above a false low byte.
__declspec(dllexport) uint32_t APPFRAME_STDCALL WideFalse(IAppContext* aContext) {
    if (aContext) aContext->GetParams()->SetResult("wide");
    return 0xABCD0100u;
}
}
