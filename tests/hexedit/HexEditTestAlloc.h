// Allocation failure on demand: the test program replaces the global
// operator new, and every allocation of exactly the armed size fails
// (std::bad_alloc, or null for the nothrow forms) until disarmed. `spare`
// lets that many allocations of the size succeed first.
#pragma once

#include <cstddef>

namespace hexedit_test {

void FailAllocationsOfSize(std::size_t size, unsigned spare = 0);  // size 0 disarms
unsigned FailedAllocationCount();

// Arms for one scope.
class ScopedAllocationFailure {
public:
    explicit ScopedAllocationFailure(std::size_t size, unsigned spare = 0) {
        FailAllocationsOfSize(size, spare);
    }
    ~ScopedAllocationFailure() { FailAllocationsOfSize(0); }
    ScopedAllocationFailure(const ScopedAllocationFailure&) = delete;
    ScopedAllocationFailure& operator=(const ScopedAllocationFailure&) = delete;
};

}  // namespace hexedit_test
