#include "actions/LibraryCall.h"

#include "foundation/Abi.h"
#include "foundation/ScopedWin.h"
#include "foundation/TextCodec.h"

#include <cstdint>

namespace {

// The exported function's shape. Its Boolean is one byte: only the low byte of the result
// register is meaningful.
using TServiceLibraryFun = uint8_t(APPFRAME_STDCALL*)(IAppContext* aContext);

std::string AnsiValue(IAppValues& values, const char* name) {
    const char* text = values.GetValue(name);
    return text ? std::string(text) : std::string();
}

} // namespace

std::string CallLibraryFunction(TCallerContext* aContext) {
    if (!aContext) return {};
    IAppContext* context = aContext->AppContext();
    IAppValues* values = context->Values();
    if (!values || values->ValueCount() < 2) return {};
    // Both stay in the ANSI code page, the form the loader takes them in.
    const std::string path = AnsiValue(*values, "path");
    const std::string funName = AnsiValue(*values, "funName");
    if (path.empty() || funName.empty()) return {};

    // Libraries named after a service stay loaded for the rest of the program's life.
    NeverUnloadedModule library(LoadLibraryA(path.c_str()));
    if (!library) return {};
    auto function = reinterpret_cast<TServiceLibraryFun>(
        reinterpret_cast<void*>(GetProcAddress(library.Get(), funName.c_str())));
    if (!function) return {};
    if (function(context) == 0) return {};
    return aContext->Result();
}
