#include "image/ImageChecksum.h"

uint16_t ImageChecksum(const uint8_t* bytes, size_t count) {
    // A 32-bit sum wraps at a multiple of 65536, so its low half is exact.
    uint32_t sum = 0;
    for (size_t i = 0; i < count; ++i) sum += bytes[i];
    return uint16_t(sum);
}

namespace {

struct Crc32Table {
    uint32_t entry[256];
    constexpr Crc32Table() : entry() {
        for (uint32_t n = 0; n < 256; ++n) {
            uint32_t c = n;
            for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            entry[n] = c;
        }
    }
};

constexpr Crc32Table kCrc32;

}  // namespace

uint32_t ImageCrc32(const uint8_t* bytes, size_t count, uint32_t crc) {
    crc = ~crc;
    for (size_t i = 0; i < count; ++i) crc = kCrc32.entry[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}
