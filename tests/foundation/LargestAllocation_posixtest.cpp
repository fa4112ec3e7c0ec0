#include "LargestAllocation.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<bool> gWatching{false};
std::atomic<std::size_t> gLargest{0};
} // namespace

void* operator new(std::size_t size) {
    if (gWatching.load(std::memory_order_relaxed)) {
        std::size_t seen = gLargest.load(std::memory_order_relaxed);
        while (size > seen && !gLargest.compare_exchange_weak(seen, size)) {
        }
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

TLargestAllocation::TLargestAllocation() {
    gLargest = 0;
    gWatching = true;
}
TLargestAllocation::~TLargestAllocation() {
    gWatching = false;
}
std::size_t TLargestAllocation::Bytes() const {
    return gLargest;
}
void TLargestAllocation::Reset() {
    gLargest = 0;
}
