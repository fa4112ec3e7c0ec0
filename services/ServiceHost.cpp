#include "services/ServiceHost.h"

#include <atomic>

namespace {

class TInertServiceHost final : public IServiceHost {
public:
    std::string AppID() override { return {}; }
    std::string ProgramFolder() override { return {}; }
    bool TakeHelpRequest() override { return false; }
    std::string CallAction(const std::string&, const TVarArgs&) override { return {}; }
    bool AppendNotifyTask(const std::string&, TNotifyType, const TVarArgs&) override { return false; }
    std::string TaxCalendarURL() override { return {}; }
};

TInertServiceHost gInert;
std::atomic<IServiceHost*> gHost{nullptr};

} // namespace

IServiceHost& ServiceHost() {
    IServiceHost* host = gHost.load(std::memory_order_acquire);
    return host ? *host : gInert;
}

void SetServiceHost(IServiceHost* host) {
    gHost.store(host, std::memory_order_release);
}
