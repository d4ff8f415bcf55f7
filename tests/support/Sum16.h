// The 16-bit additive sum (modulo 65536, no complement) of some bytes,
// written apart from the code under test so that tests can check it.
#pragma once

#include <cstdint>
#include <span>

namespace test_support {

inline uint16_t Sum16(std::span<const uint8_t> bytes) {
    uint32_t sum = 0;  // wraps at a multiple of 65536: the low half stays exact
    for (uint8_t b : bytes) sum += b;
    return static_cast<uint16_t>(sum);
}

}  // namespace test_support
