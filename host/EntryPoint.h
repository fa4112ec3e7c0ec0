#pragma once
// The program's entry (Win32 build only): module initialisation, then the start-up sequence over
// the program's own steps. Answers the process exit code.
#include <cstdint>

// What the rest of the program relies on before the entry sequence: start times zeroed, service
// classes registered, taxpayer records wiped, log folder prepared.
class TStepCosts;
void RunModuleInitialisation(TStepCosts* costs = nullptr); // costs: measured when given
uint32_t RunAppFrameMain();
