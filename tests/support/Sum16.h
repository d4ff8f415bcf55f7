// The 16-bit additive sum (modulo 65536, no complement) of some bytes, and
// the download header that carries it, written apart from the code under test
// so that tests can check it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace test_support {

inline uint16_t Sum16(std::span<const uint8_t> bytes) {
    uint32_t sum = 0;  // wraps at a multiple of 65536: the low half stays exact
    for (uint8_t b : bytes) sum += b;
    return static_cast<uint16_t>(sum);
}

// The host's header for `image`: 5A A5 80, start 0, length, sum (big-endian), 00 00.
inline std::vector<uint8_t> DownloadHeader(std::span<const uint8_t> image) {
    const auto n = static_cast<uint32_t>(image.size());
    const uint16_t sum = Sum16(image);
    std::vector<uint8_t> header = {0x5A, 0xA5, 0x80, 0, 0, 0, 0};
    for (int shift : {24, 16, 8, 0}) header.push_back(static_cast<uint8_t>(n >> shift));
    header.insert(header.end(), {static_cast<uint8_t>(sum >> 8), static_cast<uint8_t>(sum), 0, 0});
    return header;
}

}  // namespace test_support
