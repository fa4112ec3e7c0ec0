#pragma once
// Runs a function exported by a library named after a service (the `app` service's DllFun). The
// context's named values "path" and "funName" say which; the function takes the call context and
// returns a Boolean, and on true leaves its answer as the return text of the parameter list.
// Binary rules of such libraries: webbridge/BinaryConventions.md.
#include "actions/CustomAttributeUnit.h"
#include "foundation/Abi.h"
#include "webbridge/AppContextIntf.h"

// The exported function of a library named after a service: the call context in, a one-byte
// Boolean out.
using TServiceLibraryFun = TPasBool(APPFRAME_STDCALL*)(IAppContext* aContext);

#include <string>

// The function's answer (UTF-8), or empty text when the values are missing, the library or the
// function cannot be found, or the function reports failure. The library is never unloaded.
std::string CallLibraryFunction(TCallerContext* aContext);
