#pragma once
// The two start-up decisions that may hand the user over to a sibling product (Win32 build only):
// BREV for one regional application id, and the assistant in the QNB run mode. Every step writes
// a line to the daily log. Portable rules: host/HandoverRules.h.
#include "host/HandoverRules.h"

#include <string>

// Starts the installed BREV and ends the process when `appId` is "GD_QELT_DWIN" (any case); in
// the QNB run mode only with a device of version 6.1.3 or later. Returns when it does not hand
// over (or when the system refuses to end the process).
void HandOverToBrev(const std::string& appId);
// True when the assistant was started; the caller then ends the process.
bool TryLaunchAssistant();

// The steps, open for tests.
bool IsQnbRunMode(); // computed once per process
// The device's version against a minimum, each number on its own; `version` receives its text.
bool ChkQNBVer(int32_t major, int32_t minor, int32_t build, std::string& version);
bool isCanRunBREV();
bool shIsCanRun();
// The whole file as 8-bit text, read while others may read and write it; empty on any failure.
std::string ReadFileText(const std::string& path);
