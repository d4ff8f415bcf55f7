// Allocation failure on demand, for a test program that links this file: it
// replaces the global operator new. Two ways to make the heap refuse:
// - every allocation of exactly one size (after `spare` of them succeed),
//   for the one buffer a test means;
// - every allocation above a size, the way an exhausted heap refuses.
// A refused allocation throws std::bad_alloc, or gives null in the nothrow forms.
#pragma once

#include <cstddef>

namespace test_support {

void FailAllocationsOfSize(std::size_t size, unsigned spare = 0);  // size 0 disarms
unsigned FailedAllocationCount();

// Arms one exact size for one scope.
class ScopedAllocationFailure {
public:
    explicit ScopedAllocationFailure(std::size_t size, unsigned spare = 0) {
        FailAllocationsOfSize(size, spare);
    }
    ~ScopedAllocationFailure() { FailAllocationsOfSize(0); }
    ScopedAllocationFailure(const ScopedAllocationFailure&) = delete;
    ScopedAllocationFailure& operator=(const ScopedAllocationFailure&) = delete;
};

// Allocations larger than `limit` fail while this lives.
class ScopedHeapLimit {
public:
    explicit ScopedHeapLimit(std::size_t limit);
    ~ScopedHeapLimit();
    ScopedHeapLimit(const ScopedHeapLimit&) = delete;
    ScopedHeapLimit& operator=(const ScopedHeapLimit&) = delete;
};

}  // namespace test_support
