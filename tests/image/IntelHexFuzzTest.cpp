// Random and damaged HEX text against a plain model of the reader's rules.
// Any byte sequence must give a defined outcome; under ASan this also proves
// the reader stays inside its buffers. Fixed seeds keep every run the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "image/IntelHex.h"
#include "tests/image/HexModel.h"
#include "tests/image/HexText.h"

namespace {

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
        switch (Below(60)) {
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
            case 4: {  // random bytes
                for (size_t n = Below(80); n > 0; --n) line.push_back(char(Below(256)));
                break;
            }
            case 5:
                line.assign(1, ':').append(520 + Below(200), "0123456789ABCDEF"[Below(16)]);
                break;
            case 6:
                line = HexRecord(Below(2) ? 0x03 : 0x05, 0, RandomData(4));
                break;
            default:
                line = DataRecord(uint16_t(Below(0x10000)),
                                  RandomData(Below(40) == 0 ? 255 : Below(33)));
        }
        switch (Below(40)) {
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
            case 4:
                line.append(Below(3), " \t"[Below(2)]);
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
        std::string text = Below(8) == 0 ? "\xEF\xBB\xBF" : "";
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
    const HexResult result = ParseIntelHex(buffer);
    ASSERT_EQ(CompareWithModel(text, result, buffer), "");
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
