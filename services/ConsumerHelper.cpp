#include "services/ConsumerHelper.h"

#include "services/ConsumerHelperLibrary.h"

#include <atomic>

namespace {
std::atomic<IConsumerHelper*> gHelper{nullptr};
} // namespace

IConsumerHelper& ConsumerHelper() {
    if (IConsumerHelper* helper = gHelper.load(std::memory_order_acquire)) return *helper;
    return DefaultConsumerHelper();
}

void SetConsumerHelper(IConsumerHelper* helper) {
    gHelper.store(helper, std::memory_order_release);
}
