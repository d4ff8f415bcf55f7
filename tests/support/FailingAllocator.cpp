#include "tests/support/FailingAllocator.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> failingSize{0};
std::atomic<unsigned> spared{0};
std::atomic<unsigned> failures{0};
std::atomic<std::size_t> sizeLimit{SIZE_MAX};

bool Refused(std::size_t size) {
    if (size > sizeLimit.load()) return true;
    if (size == 0 || size != failingSize.load()) return false;
    unsigned left = spared.load();
    while (left > 0 && !spared.compare_exchange_weak(left, left - 1)) {
    }
    if (left > 0) return false;
    failures.fetch_add(1);
    return true;
}

void* Allocate(std::size_t size) {
    if (!Refused(size))
        if (void* block = std::malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}

}  // namespace

namespace test_support {

void FailAllocationsOfSize(std::size_t size, unsigned spare) {
    spared.store(spare);
    failingSize.store(size);
}

unsigned FailedAllocationCount() {
    return failures.load();
}

ScopedHeapLimit::ScopedHeapLimit(std::size_t limit) {
    sizeLimit.store(limit);
}

ScopedHeapLimit::~ScopedHeapLimit() {
    sizeLimit.store(SIZE_MAX);
}

}  // namespace test_support

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
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
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, std::size_t) noexcept {
    std::free(block);
}
void operator delete(void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
    std::free(block);
}
