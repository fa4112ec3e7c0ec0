#include "host/StepCosts.h"

std::vector<std::string> TStepCosts::Lines() const {
    std::vector<std::string> lines;
    lines.reserve(FCosts.size());
    for (const TStepCost& cost : FCosts)
        lines.push_back(cost.Name + " " + std::to_string(cost.Microseconds) + " us, working set " +
                        std::to_string(cost.WorkingSet));
    return lines;
}
