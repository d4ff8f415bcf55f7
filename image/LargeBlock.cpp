#include "image/LargeBlock.h"

#ifdef __linux__
#include <sys/mman.h>
#endif

void ReserveLarge(std::vector<uint8_t>& bytes, size_t count) {
    bytes.reserve(count);
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Only whole huge pages inside the block can be given as such.
    constexpr uintptr_t kHuge = uintptr_t(2) << 20;
    if (count < 2 * kHuge) return;
    const auto start = reinterpret_cast<uintptr_t>(bytes.data());
    const uintptr_t first = (start + kHuge - 1) & ~(kHuge - 1);
    const uintptr_t last = (start + count) & ~(kHuge - 1);
    if (last > first) ::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#endif
}
