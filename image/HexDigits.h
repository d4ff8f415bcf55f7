// How the HEX reader turns characters into bytes: '0'-'9', 'A'-'F' and 'a'-'f'
// are hex digits; every other character (a line end, a space, a NUL) makes the
// decoder give up so that the reader can look at the line closely.
//
// DecodePairs is the reader's inner loop, so it has wide variants: SSE2 (16
// characters per step, every x86-64), a portable 64-bit one (8 per step) and
// the plain loop. All give the same bytes and the same verdict; the tests
// hold them to that.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace hexdigits {

constexpr bool IsLineEnd(uint8_t c) {
    return c == '\n' || c == '\r';
}

constexpr bool IsHexDigit(uint8_t c) {
    return uint8_t(c - '0') <= 9 || uint8_t((c | 0x20) - 'a') <= 5;
}

// The value of a hex digit (any other character gives some value below 32).
constexpr uint8_t DigitValue(uint8_t c) {
    return uint8_t((c & 0x0F) + ((c & 0x40) ? 9 : 0));
}

constexpr uint8_t PairValue(uint8_t high, uint8_t low) {
    return uint8_t(DigitValue(high) * 16 + DigitValue(low));
}

// Each variant decodes pairs [k, pairs) of `chars` into `out`, adds the bytes
// into `sum`, and returns false when one of those characters is not a hex
// digit (then `out` and `sum` mean nothing). All 2 * pairs characters must be
// readable.
inline bool DecodePairsPlain(const uint8_t* chars, size_t k, size_t pairs, uint8_t* out,
                             uint8_t& sum) {
    for (; k < pairs; ++k) {
        const uint8_t high = chars[2 * k];
        const uint8_t low = chars[2 * k + 1];
        if (!IsHexDigit(high) || !IsHexDigit(low)) return false;
        out[k] = PairValue(high, low);
        sum = uint8_t(sum + out[k]);
    }
    return true;
}

inline bool DecodePairsSwar(const uint8_t* chars, size_t k, size_t pairs, uint8_t* out,
                            uint8_t& sum) {
    if constexpr (std::endian::native == std::endian::little) {
        // One byte lane per character, four pairs per step.
        constexpr uint64_t kOnes = 0x0101010101010101ull;
        constexpr uint64_t kLow7 = kOnes * 0x7F;
        constexpr uint64_t kHigh = kOnes * 0x80;
        constexpr uint64_t kEvenBytes = 0x00FF00FF00FF00FFull;
        // Bit 7 of each lane set when below < lane < above; no carry crosses a
        // lane because every sum stays below 256.
        const auto between = [](uint64_t x, uint8_t below, uint8_t above) {
            const uint64_t low = x & kLow7;
            return (kOnes * (127u + above) - low) & ~x & (low + kOnes * (127u - below)) & kHigh;
        };
        uint64_t digits = kHigh;  // bit 7 of a lane cleared once a non-digit was seen there
        uint64_t laneSums = 0;    // four 16-bit lanes; at most 65 steps of 255 each
        for (; k + 4 <= pairs; k += 4) {
            uint64_t x;
            std::memcpy(&x, chars + 2 * k, 8);
            digits &= between(x, '0' - 1, '9' + 1) | between(x | (kOnes * 0x20), 'a' - 1, 'f' + 1);
            const uint64_t values = (x & (kOnes * 0x0F)) + ((x >> 6) & kOnes) * 9;
            uint64_t bytes =
                (((values & kEvenBytes) << 4) + ((values >> 8) & kEvenBytes)) & kEvenBytes;
            laneSums += bytes;
            bytes = (bytes | (bytes >> 8)) & 0x0000FFFF0000FFFFull;
            bytes = (bytes | (bytes >> 16)) & 0xFFFFFFFFull;
            const auto packed = uint32_t(bytes);
            std::memcpy(out + k, &packed, 4);
        }
        if (digits != kHigh) return false;
        sum = uint8_t(sum + laneSums + (laneSums >> 16) + (laneSums >> 32) + (laneSums >> 48));
    }
    return DecodePairsPlain(chars, k, pairs, out, sum);
}

#if defined(__SSE2__)
// Eight pairs from 16 characters: the bytes in the low half, and a movemask
// of the characters that are not hex digits.
inline __m128i DecodeEightPairs(const uint8_t* chars, unsigned& nonDigits) {
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(chars));
    // Unsigned "at most": max(v, limit) == limit.
    const __m128i nine = _mm_set1_epi8(9);
    const __m128i five = _mm_set1_epi8(5);
    const __m128i decimal = _mm_sub_epi8(x, _mm_set1_epi8('0'));
    const __m128i letter = _mm_sub_epi8(_mm_or_si128(x, _mm_set1_epi8(0x20)), _mm_set1_epi8('a'));
    const __m128i isDigit = _mm_or_si128(_mm_cmpeq_epi8(_mm_max_epu8(decimal, nine), nine),
                                         _mm_cmpeq_epi8(_mm_max_epu8(letter, five), five));
    nonDigits |= unsigned(_mm_movemask_epi8(isDigit)) ^ 0xFFFFu;
    const __m128i bit6 = _mm_set1_epi8(0x40);
    const __m128i plusNine = _mm_and_si128(_mm_cmpeq_epi8(_mm_and_si128(x, bit6), bit6), nine);
    const __m128i values = _mm_add_epi8(_mm_and_si128(x, _mm_set1_epi8(0x0F)), plusNine);
    // 16-bit lanes: low byte the high digit, high byte the low digit.
    const __m128i lowByte = _mm_set1_epi16(0x00FF);
    const __m128i bytes = _mm_and_si128(
        _mm_add_epi16(_mm_slli_epi16(_mm_and_si128(values, lowByte), 4), _mm_srli_epi16(values, 8)),
        lowByte);
    return _mm_packus_epi16(bytes, _mm_setzero_si128());
}

inline bool DecodePairsSse2(const uint8_t* chars, size_t pairs, uint8_t* out, uint8_t& sum) {
    if (pairs < 8) return DecodePairsSwar(chars, 0, pairs, out, sum);
    unsigned nonDigits = 0;
    __m128i sums = _mm_setzero_si128();
    size_t k = 0;
    for (; k + 8 <= pairs; k += 8) {
        const __m128i packed = DecodeEightPairs(chars + 2 * k, nonDigits);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k), packed);
        sums = _mm_add_epi64(sums, _mm_sad_epu8(packed, _mm_setzero_si128()));
    }
    if (k < pairs) {
        // The last eight pairs again, overlapping ones already done; only the
        // new ones count towards the sum.
        alignas(16) static constexpr uint8_t kNewBytes[16] = {
            0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        const size_t start = pairs - 8;
        const __m128i packed = DecodeEightPairs(chars + 2 * start, nonDigits);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + start), packed);
        const __m128i fresh = _mm_and_si128(
            packed, _mm_loadl_epi64(reinterpret_cast<const __m128i*>(kNewBytes + (pairs - k))));
        sums = _mm_add_epi64(sums, _mm_sad_epu8(fresh, _mm_setzero_si128()));
    }
    if (nonDigits) return false;
    sum = uint8_t(sum + _mm_cvtsi128_si32(sums));
    return true;
}
#endif

// Decodes `pairs` pairs of `chars` into `out` and adds the bytes into `sum`.
inline bool DecodePairs(const uint8_t* chars, size_t pairs, uint8_t* out, uint8_t& sum) {
#if defined(__SSE2__)
    return DecodePairsSse2(chars, pairs, out, sum);
#else
    return DecodePairsSwar(chars, 0, pairs, out, sum);
#endif
}

}  // namespace hexdigits
