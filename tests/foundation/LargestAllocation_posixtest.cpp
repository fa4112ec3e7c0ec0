#include "LargestAllocation.h"

#include <atomic>
#include <cstdlib>
#include <new>

// Every replaceable form except the over-aligned ones (left to the runtime, which pairs them
// itself) goes through malloc and free, so allocations and releases always match.
namespace {
std::atomic<bool> gWatching{false};
std::atomic<std::size_t> gLargest{0};

void* Allocate(std::size_t size) noexcept {
    if (gWatching.load(std::memory_order_relaxed)) {
        std::size_t seen = gLargest.load(std::memory_order_relaxed);
        while (size > seen && !gLargest.compare_exchange_weak(seen, size)) {
        }
    }
    return std::malloc(size ? size : 1);
}

void* AllocateOrThrow(std::size_t size) {
    if (void* p = Allocate(size)) return p;
    throw std::bad_alloc();
}
} // namespace

void* operator new(std::size_t size) {
    return AllocateOrThrow(size);
}
void* operator new[](std::size_t size) {
    return AllocateOrThrow(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return Allocate(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    std::free(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
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
