#include "host/HostFramework.h"

#include <atomic>

namespace {
std::atomic<IHostFramework*> g_framework{nullptr};
}

IHostFramework& HostFramework() {
    IHostFramework* fw = g_framework.load(std::memory_order_acquire);
    return fw ? *fw : DefaultHostFramework();
}

void SetHostFramework(IHostFramework* framework) {
    g_framework.store(framework, std::memory_order_release);
}
