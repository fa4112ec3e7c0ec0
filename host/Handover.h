#pragma once
// The two start-up decisions that may hand the user over to a sibling product: BREV for one
// regional application id, and the assistant in the QNB run mode. Not built yet: this build
// never hands over, so both decide "no" and start-up goes on.
#include <string>

// Ends the process inside when it hands over (never, for now).
void HandOverToBrev(const std::string& appId);
// True when the assistant was started (never, for now).
bool TryLaunchAssistant();
