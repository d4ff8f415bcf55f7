// The wide decoders of the reader's inner loop against the plain character rule.
#include <gtest/gtest.h>

#include <random>

#include "image/HexDigits.h"

namespace hd = hexdigits;

namespace {

using Decoder = bool (*)(const uint8_t*, size_t, uint8_t*, uint8_t&);

bool Swar(const uint8_t* chars, size_t pairs, uint8_t* out, uint8_t& sum) {
    return hd::DecodePairsSwar(chars, 0, pairs, out, sum);
}
bool Plain(const uint8_t* chars, size_t pairs, uint8_t* out, uint8_t& sum) {
    return hd::DecodePairsPlain(chars, 0, pairs, out, sum);
}

TEST(HexDigits, WideDecodersAgreeWithThePlainRule) {
    std::vector<std::pair<const char*, Decoder>> decoders = {{"swar", Swar},
                                                             {"default", hd::DecodePairs}};
    std::mt19937 random(3);
    std::vector<uint8_t> chars(2 * 260);
    for (int round = 0; round < 2000; ++round) {
        const size_t pairs = size_t(random() % 261);
        for (auto& c : chars) c = uint8_t("0123456789ABCDEFabcdef"[random() % 22]);
        uint8_t expected[260];
        uint8_t expectedSum = uint8_t(round);
        ASSERT_TRUE(Plain(chars.data(), pairs, expected, expectedSum));
        for (const auto& [name, decode] : decoders) {
            uint8_t out[260];
            uint8_t sum = uint8_t(round);
            ASSERT_TRUE(decode(chars.data(), pairs, out, sum)) << name;
            ASSERT_EQ(sum, expectedSum) << name << " pairs " << pairs;
            ASSERT_EQ(0, std::memcmp(out, expected, pairs)) << name << " pairs " << pairs;
        }
    }
}

TEST(HexDigits, AnyOtherCharacterAnywhereIsReported) {
    // The neighbours of every digit range, line ends, NUL, and bytes with bit 7 set.
    const uint8_t others[] = {'/', ':', '@', 'G', '`', 'g', '\r', '\n', ' ', 0, 0x80, 0xC1, 0xE6};
    for (const auto& decode : {Swar, Plain, static_cast<Decoder>(hd::DecodePairs)}) {
        for (size_t pairs : {1u, 4u, 5u, 8u, 9u, 21u, 37u, 260u}) {
            for (size_t at = 0; at < 2 * pairs; ++at) {
                for (uint8_t other : others) {
                    std::vector<uint8_t> chars(2 * pairs, 'f');
                    chars[at] = other;
                    uint8_t out[260];
                    uint8_t sum = 0;
                    ASSERT_FALSE(decode(chars.data(), pairs, out, sum))
                        << pairs << " " << at << " " << int(other);
                }
            }
        }
    }
}

}  // namespace
