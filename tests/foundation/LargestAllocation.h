#pragma once
// The largest single allocation made through operator new while a probe is alive (native test
// builds only: LargestAllocation_posixtest.cpp replaces the global operator new to watch it).
#include <cstddef>

class TLargestAllocation {
public:
    TLargestAllocation();
    ~TLargestAllocation();
    TLargestAllocation(const TLargestAllocation&) = delete;
    TLargestAllocation& operator=(const TLargestAllocation&) = delete;
    std::size_t Bytes() const;
    void Reset();
};
