#include "host/StartTimes.h"

namespace {
TStartTimes g_startTimes;
}

TStartTimes& StartTimes() {
    return g_startTimes;
}
