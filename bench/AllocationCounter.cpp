#include "bench/AllocationCounter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<size_t> liveBytes{0};
std::atomic<size_t> peakBytes{0};
std::atomic<size_t> allocations{0};

// Every block carries its size in front so that delete can subtract it.
constexpr size_t kHeader = alignof(std::max_align_t);

void* Allocate(size_t size) {
    void* block = std::malloc(size + kHeader);
    if (!block) throw std::bad_alloc();
    *static_cast<size_t*>(block) = size;
    const size_t live = liveBytes.fetch_add(size) + size;
    size_t peak = peakBytes.load();
    while (live > peak && !peakBytes.compare_exchange_weak(peak, live)) {
    }
    allocations.fetch_add(1);
    return static_cast<char*>(block) + kHeader;
}

void Release(void* pointer) {
    if (!pointer) return;
    void* block = static_cast<char*>(pointer) - kHeader;
    liveBytes.fetch_sub(*static_cast<size_t*>(block));
    std::free(block);
}

}  // namespace

AllocationStats CurrentAllocations() {
    return {liveBytes.load(), peakBytes.load(), allocations.load()};
}

void ResetAllocationPeak() {
    peakBytes.store(liveBytes.load());
    allocations.store(0);
}

void* operator new(size_t size) {
    return Allocate(size);
}
void* operator new[](size_t size) {
    return Allocate(size);
}
void operator delete(void* pointer) noexcept {
    Release(pointer);
}
void operator delete[](void* pointer) noexcept {
    Release(pointer);
}
void operator delete(void* pointer, size_t) noexcept {
    Release(pointer);
}
void operator delete[](void* pointer, size_t) noexcept {
    Release(pointer);
}
