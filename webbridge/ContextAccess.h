#pragma once
// Program side only (the stand-ins call their own objects directly).
#include "foundation/ForeignCall.h"
#include "webbridge/AppContextIntf.h"

// The call context's named values and parameter list (null when the library gives none), asked
// through the foreign-call guard.
inline TFwRef<IAppValues> ContextValues(IAppContext& context) {
    IAppValues* values = nullptr;
    CallForeign(&IAppContext::Values, &context, &values);
    return TFwRef<IAppValues>(values);
}
inline TFwRef<IJsCallerInf> ContextParams(IAppContext& context) {
    IJsCallerInf* params = nullptr;
    CallForeign(&IAppContext::Params, &context, &params);
    return TFwRef<IJsCallerInf>(params);
}
