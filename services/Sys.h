#pragma once
// The page-facing service "sys": request signing, text encryption with the built-in key, start-up
// timings and a probe. It keeps no state, so one instance serves both threads.
#include "actions/CustomAttributeUnit.h"

#include <string>

class TSys : public TActionService {
public:
    // Signs the request described by the first parameter (JSON); empty without parameters or on
    // failure. Once there is a parameter, the main log gets the failure, if any, and an exit line.
    std::string A2(TCallerContext* aContext);
    // Hex cipher text of the first parameter's bytes; empty on any failure.
    std::string EncryptStr(TCallerContext* aContext);
    // Plain text of the first parameter (hex); empty on any failure.
    std::string DecryptStr(TCallerContext* aContext);
    // "LoadTime" / "InitTime" (any case) in milliseconds, otherwise "0".
    std::string Status(TCallerContext* aContext);
    std::string test(TCallerContext* aContext);
    bool InitEnvironment(TCallerContext* aParam);
};

// The class as the dispatch sees it ("sys" with A2, Enc, Dec, Status, test, InitEnvironment).
const TServiceClass& SysServiceClass();
