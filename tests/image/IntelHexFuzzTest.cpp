// Random and damaged HEX text against a plain model of the reader's rules.
// Any byte sequence must give a defined image; under ASan this also proves the
// reader stays inside its buffers. Fixed seeds keep every run the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "image/HexDigits.h"
#include "image/IntelHex.h"
#include "tests/image/HexText.h"

namespace {

// The rules written the slow, obvious way: one token at a time, a byte map.
std::vector<uint8_t> ModelImage(const std::string& input) {
    const std::string text = input.substr(0, input.find('\0'));
    std::map<uint64_t, uint8_t> bytes;
    uint64_t base = 0;
    uint64_t highest = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = std::min(text.find_first_of("\r\n", pos), text.size());
        const std::string token = text.substr(pos, end - pos);
        pos = end + 1;
        if (token.empty() || token[0] != ':') continue;
        const size_t pairs = (token.size() - 1) / 2;
        if (pairs == 0) continue;
        if (pairs > 260) break;
        std::vector<uint8_t> record(pairs);
        uint8_t sum = 0;
        for (size_t k = 0; k < pairs; ++k) {
            record[k] = hexdigits::PairValue(uint8_t(token[1 + 2 * k]), uint8_t(token[2 + 2 * k]));
            sum = uint8_t(sum + record[k]);
        }
        if (sum != 0 || pairs != size_t(record[0]) + 5) break;
        const uint32_t offset = uint32_t(record[1] << 8 | record[2]);
        const uint8_t type = record[3];
        if (type == 0) {
            if (base + offset + record[0] > 0xFFFFFFFFu) break;
            for (size_t i = 0; i < record[0]; ++i) bytes[base + offset + i] = record[4 + i];
            highest = std::max<uint64_t>(highest, base + offset + record[0]);
        } else if (type == 2 || type == 4) {
            if (record[0] == 2 && offset == 0)
                base = uint64_t(record[4] << 8 | record[5]) << (type == 2 ? 4 : 16);
        } else {
            break;
        }
    }
    std::vector<uint8_t> image(highest, 0xFF);
    for (const auto& [address, value] : bytes) image[address] = value;
    return image;
}

class HexFuzzer {
public:
    explicit HexFuzzer(uint32_t seed) : random(seed) {}

    size_t Below(size_t bound) {
        return std::uniform_int_distribution<size_t>(0, bound - 1)(random);
    }

    std::vector<uint8_t> RandomData(size_t count) {
        std::vector<uint8_t> data(count);
        for (auto& b : data) b = uint8_t(Below(256));
        return data;
    }

    // A line that is mostly a valid record, sometimes damaged.
    std::string Line() {
        std::string line;
        switch (Below(20)) {
            case 0:
                line = LinearAddress(uint16_t(Below(0x11)));
                break;  // up to 1 MiB
            case 1:
                line = SegmentAddress(uint16_t(Below(0x10000)));
                break;
            case 2: {  // any type but the address records, which cases 0 and 1 make
                static const uint8_t types[] = {0x00, 0x01, 0x03, 0x05, 0x06, 0x10, 0x80, 0xFF};
                line = HexRecord(types[Below(8)], uint16_t(Below(0x10000)), RandomData(Below(4)));
                break;
            }
            case 3:
                line.assign(1, ':');
                break;
            case 4: {  // random bytes, any value but the zero that ends the text
                for (size_t n = Below(80); n > 0; --n) line.push_back(char(1 + Below(255)));
                break;
            }
            case 5:
                line.assign(1, ':').append(520 + Below(200), "0123456789ABCDEF"[Below(16)]);
                break;
            default:
                line = DataRecord(uint16_t(Below(0x10000)),
                                  RandomData(Below(40) == 0 ? 255 : Below(33)));
        }
        switch (Below(12)) {
            case 0:
                line.resize(Below(line.size() + 1));
                break;  // truncated
            case 1:
                line.push_back("0F a:"[Below(5)]);
                break;  // odd digit count
            case 2:
                if (line.size() > 1) line[1 + Below(line.size() - 1)] = char(Below(256));
                break;
            case 3:
                std::transform(line.begin(), line.end(), line.begin(),
                               [](char c) { return char(std::tolower(c)); });
                break;
            default:
                break;
        }
        return line;
    }

    std::string LineEnd() {
        static const char* const ends[] = {"\r\n", "\n", "\r", "\n\n", "\r\r\n"};
        return ends[Below(5)];
    }

    std::string Text(size_t lines) {
        std::string text;
        for (size_t i = 0; i < lines; ++i) text += Line() + LineEnd();
        if (Below(10) == 0) {
            // A base near the top, then data crossing 4 GiB: the text must end there,
            // or any following record would be placed near 4 GiB.
            text += LinearAddress(0xFFFF) + LineEnd() +
                    DataRecord(uint16_t(0xFFFF - Below(2)), RandomData(2 + Below(30)));
        }
        return text;
    }

private:
    std::mt19937 random;
};

void ExpectLikeModel(const std::string& text) {
    std::vector<uint8_t> buffer(text.begin(), text.end());
    const uint32_t length = ParseIntelHex(buffer);
    ASSERT_EQ(length, buffer.size());
    const std::vector<uint8_t> expected = ModelImage(text);
    ASSERT_EQ(buffer.size(), expected.size());
    ASSERT_TRUE(buffer == expected);
}

TEST(IntelHexFuzz, RandomAndDamagedRecordsMatchTheModel) {
    HexFuzzer fuzzer(20240501);
    for (int round = 0; round < 1500; ++round) {
        const std::string text = fuzzer.Text(1 + fuzzer.Below(40));
        SCOPED_TRACE(round);
        ExpectLikeModel(text);
        if (HasFatalFailure()) return;
    }
}

TEST(IntelHexFuzz, EveryPrefixOfAFileMatchesTheModel) {
    HexFuzzer fuzzer(7);
    std::string text;
    for (int i = 0; i < 12; ++i)
        text +=
            DataRecord(uint16_t(fuzzer.Below(0x200)), fuzzer.RandomData(fuzzer.Below(20))) + "\r\n";
    text += LinearAddress(1) + "\r\n" + DataRecord(0xFFF8, fuzzer.RandomData(16)) + "\r\n" +
            kEndOfFile + "\r\n";
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        SCOPED_TRACE(cut);
        ExpectLikeModel(text.substr(0, cut));
        if (HasFatalFailure()) return;
    }
}

TEST(IntelHexFuzz, PureRandomBytesGiveADefinedImage) {
    HexFuzzer fuzzer(99);
    for (int round = 0; round < 300; ++round) {
        std::string text;
        const size_t length = fuzzer.Below(3000);
        for (size_t i = 0; i < length; ++i) {
            // Colons and line ends more often than chance, so records get started.
            const size_t roll = fuzzer.Below(16);
            text.push_back(roll == 0 ? ':' : roll == 1 ? '\n' : char(fuzzer.Below(256)));
        }
        SCOPED_TRACE(round);
        ExpectLikeModel(text);
        if (HasFatalFailure()) return;
    }
}

}  // namespace
