#include "HexEditTestAlloc.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> failingSize{0};
std::atomic<unsigned> spared{0};
std::atomic<unsigned> failures{0};

void* Allocate(std::size_t size) {
    if (size != 0 && size == failingSize.load()) {
        unsigned left = spared.load();
        while (left > 0 && !spared.compare_exchange_weak(left, left - 1)) {
        }
        if (left == 0) {
            failures.fetch_add(1);
            throw std::bad_alloc();
        }
    }
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}

}  // namespace

namespace hexedit_test {

void FailAllocationsOfSize(std::size_t size, unsigned spare) {
    spared.store(spare);
    failingSize.store(size);
}
unsigned FailedAllocationCount() { return failures.load(); }

}  // namespace hexedit_test

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (...) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
