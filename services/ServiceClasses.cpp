#include "services/ServiceClasses.h"

#include "actions/CustomAttributeUnit.h"
#include "services/Account.h"
#include "services/MessageCenter.h"
#include "services/Sys.h"

#include <mutex>

void RegisterServiceClasses() {
    static std::once_flag once;
    std::call_once(once, [] {
        RegisterServiceClass(AccountServiceClass());
        RegisterServiceClass(SysServiceClass());
        RegisterServiceClass(MessageCenterServiceClass());
    });
}
