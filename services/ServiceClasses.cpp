#include "services/ServiceClasses.h"

#include "actions/CustomAttributeUnit.h"
#include "services/Sys.h"

#include <mutex>

void RegisterServiceClasses() {
    static std::once_flag once;
    std::call_once(once, [] { RegisterServiceClass(SysServiceClass()); });
}
