#include "image/ImageChecksum.h"

uint16_t ImageChecksum(const uint8_t* bytes, size_t count) {
    // A 32-bit sum wraps at a multiple of 65536, so its low half is exact.
    uint32_t sum = 0;
    for (size_t i = 0; i < count; ++i) sum += bytes[i];
    return uint16_t(sum);
}
