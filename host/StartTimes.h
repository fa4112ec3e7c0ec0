#pragma once
// The process-wide start-time record: the tick at which the client path started and the two
// measured durations that pages ask for ("LoadTime", "InitTime"). Zero until measured; the
// entry point writes it, any thread may read it.
#include <atomic>
#include <cstdint>

struct TStartTimes {
    std::atomic<uint32_t> StartTick{0};
    std::atomic<uint32_t> LoadTime{0};
    std::atomic<uint32_t> InitTime{0};

    void Reset() {
        StartTick = 0;
        LoadTime = 0;
        InitTime = 0;
    }
    // Milliseconds from StartTick to nowTick; the tick counter wraps after 49.7 days, the
    // unsigned difference stays right across one wrap.
    uint32_t Since(uint32_t nowTick) const { return nowTick - StartTick.load(); }
    // Stores LoadTime while it is still 0; true when this call stored it.
    bool StoreLoadTimeOnce(uint32_t nowTick) {
        uint32_t expected = 0;
        return LoadTime.compare_exchange_strong(expected, Since(nowTick));
    }
};

// Constant-initialised, so it is zero before any code of the program runs.
TStartTimes& StartTimes();
