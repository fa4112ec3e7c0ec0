#include "actions/LibraryCall.h"

// Service libraries are Windows libraries; natively there is nothing to load.
std::string CallLibraryFunction(TCallerContext* aContext) {
    (void)aContext;
    return {};
}
