#include "actions/ThreadEndSignal.h"

#include <condition_variable>
#include <mutex>

struct TThreadEndSignal::TImpl {
    std::mutex Lock;
    std::condition_variable Changed;
    bool Ended = false;
};

TThreadEndSignal::TThreadEndSignal() : FImpl(std::make_unique<TImpl>()) {}

TThreadEndSignal::~TThreadEndSignal() = default;

void TThreadEndSignal::Set() noexcept {
    {
        std::lock_guard<std::mutex> guard(FImpl->Lock);
        FImpl->Ended = true;
    }
    FImpl->Changed.notify_all();
}

void TThreadEndSignal::Wait() noexcept {
    std::unique_lock<std::mutex> guard(FImpl->Lock);
    FImpl->Changed.wait(guard, [this] { return FImpl->Ended; });
}
