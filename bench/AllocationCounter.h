// Counts the heap traffic of the benchmark program (global operator new and
// delete are replaced in AllocationCounter.cpp): live bytes, their peak and
// the number of allocations, so a benchmark can show what a call holds.
#pragma once

#include <cstddef>

struct AllocationStats {
    size_t liveBytes;
    size_t peakBytes;
    size_t allocations;
};

AllocationStats CurrentAllocations();
// Starts a new peak at the current live bytes and zeroes the allocation count.
void ResetAllocationPeak();
