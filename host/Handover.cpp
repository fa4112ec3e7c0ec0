#include "host/Handover.h"

void HandOverToBrev(const std::string&) {}

bool TryLaunchAssistant() {
    return false;
}
