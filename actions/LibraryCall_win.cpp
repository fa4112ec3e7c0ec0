#include "actions/LibraryCall.h"

#include "foundation/Abi.h"
#include "foundation/ForeignCall.h"
#include "foundation/ScopedWin.h"
#include "foundation/TextCodec.h"

#include <cstdint>

namespace {

std::string AnsiValue(IAppValues& values, const char* name) {
    const char* text = CallForeign(&IAppValues::GetValue, &values, name);
    return text ? std::string(text) : std::string();
}

} // namespace

std::string CallLibraryFunction(TCallerContext* aContext) {
    if (!aContext) return {};
    IAppContext* context = aContext->AppContext();
    auto values = ContextValues(*context);
    if (!values || CallForeign(&IAppValues::ValueCount, values.Get()) < 2) return {};
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
    if (!IsTrue(CallForeign(function, context))) return {};
    return aContext->Result();
}
