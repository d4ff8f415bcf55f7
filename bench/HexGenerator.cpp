#include "bench/HexGenerator.h"

#include <algorithm>

namespace {

// A small fixed generator (xorshift32) so the text does not depend on the
// standard library's distributions.
class Random {
public:
    explicit Random(uint32_t seed) : state(seed ? seed : 0x9E3779B9u) {}
    uint32_t Next() {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    uint32_t Below(uint32_t bound) { return Next() % bound; }

private:
    uint32_t state;
};

class HexWriter {
public:
    explicit HexWriter(std::vector<uint8_t>& text) : text(text) {}

    void Record(uint8_t type, uint16_t offset, const uint8_t* data, uint8_t count) {
        text.push_back(':');
        uint8_t sum = 0;
        auto put = [&](uint8_t byte) {
            static const char digits[] = "0123456789ABCDEF";
            text.push_back(uint8_t(digits[byte >> 4]));
            text.push_back(uint8_t(digits[byte & 0x0F]));
            sum = uint8_t(sum + byte);
        };
        put(count);
        put(uint8_t(offset >> 8));
        put(uint8_t(offset));
        put(type);
        for (uint8_t i = 0; i < count; ++i) put(data[i]);
        put(uint8_t(-sum));
        text.push_back('\r');
        text.push_back('\n');
    }

private:
    std::vector<uint8_t>& text;
};

uint8_t PickLength(Random& random) {
    const uint32_t roll = random.Below(100);
    if (roll < 55) return 16;
    if (roll < 85) return 32;
    if (roll < 92) return uint8_t(1 + random.Below(15));
    if (roll < 97) return 255;
    return uint8_t(1 + random.Below(255));
}

}  // namespace

GeneratedHex GenerateIntelHex(uint32_t imageLength, uint32_t seed, bool withImage) {
    GeneratedHex hex;
    Random random(seed);
    // About 2.5 characters per image byte; reserving avoids regrowing 40 MB.
    hex.text.reserve(size_t(imageLength) * 5 / 2 + 4096);
    if (withImage) hex.image.assign(imageLength, 0xFF);
    HexWriter writer(hex.text);

    constexpr uint32_t kSegmentRange = 0x100000;  // what type 02 records can reach
    uint32_t window = 0xFFFFFFFFu;                // 64 KiB window the last address record chose
    uint8_t data[255];
    uint32_t address = 0;
    while (address < imageLength) {
        if (random.Below(200) == 0) {
            // A gap, but never past the end: the image must end with a record.
            address += std::min(1 + random.Below(1024), imageLength - address - 1);
        }
        if ((address >> 16) != window || random.Below(2000) == 0) {
            window = address >> 16;
            const uint8_t value[2] = {uint8_t(window >> 8), uint8_t(window)};
            if (address < kSegmentRange) {
                const uint16_t segment = uint16_t(window << 12);
                const uint8_t segmentValue[2] = {uint8_t(segment >> 8), uint8_t(segment)};
                writer.Record(0x02, 0, segmentValue, 2);
            } else {
                writer.Record(0x04, 0, value, 2);
            }
        }
        const uint32_t offset = address & 0xFFFF;
        const uint32_t room = std::min<uint32_t>(0x10000 - offset, imageLength - address);
        const uint8_t count = uint8_t(std::min<uint32_t>(PickLength(random), room));
        for (uint8_t i = 0; i < count; ++i) data[i] = uint8_t(random.Next() >> 24);
        writer.Record(0x00, uint16_t(offset), data, count);
        if (withImage) std::copy(data, data + count, hex.image.begin() + address);
        address += count;
    }
    writer.Record(0x01, 0, nullptr, 0);
    return hex;
}
