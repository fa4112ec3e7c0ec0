#pragma once
// Runs a function exported by a library named after a service (the `app` service's DllFun). The
// context's named values "path" and "funName" say which; the function takes the call context and
// returns a Boolean, and on true leaves its answer as the return text of the parameter list.
#include "actions/CustomAttributeUnit.h"

#include <string>

// The function's answer (UTF-8), or empty text when the values are missing, the library or the
// function cannot be found, or the function reports failure. The library is never unloaded.
std::string CallLibraryFunction(TCallerContext* aContext);
