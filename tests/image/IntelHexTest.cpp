// ParseIntelHex: the record rules, line handling, and the bounds it keeps on
// malformed and extreme input.
#include <gtest/gtest.h>

#include <algorithm>

#include "bench/HexGenerator.h"
#include "image/IntelHex.h"
#include "tests/image/HexText.h"

namespace {

std::string Lines(std::initializer_list<std::string> lines, const char* end = "\r\n") {
    std::string text;
    for (const std::string& line : lines) text += line + end;
    return text;
}

size_t CountNot0xFF(const std::vector<uint8_t>& image) {
    return size_t(std::count_if(image.begin(), image.end(), [](uint8_t b) { return b != 0xFF; }));
}

TEST(IntelHex, ImageStartsAtZeroAndEndsAtHighestEnd) {
    // Only data at 0x8000..0x8FFF: 0x9000 bytes, the first 0x8000 unwritten.
    std::string text;
    for (uint32_t a = 0x8000; a < 0x9000; a += 16)
        text += DataRecord(uint16_t(a), std::vector<uint8_t>(16, 0x5A)) + "\n";
    text += kEndOfFile + "\n";
    const auto image = ParseText(text);
    ASSERT_EQ(image.size(), 0x9000u);
    EXPECT_TRUE(
        std::all_of(image.begin(), image.begin() + 0x8000, [](uint8_t b) { return b == 0xFF; }));
    EXPECT_TRUE(
        std::all_of(image.begin() + 0x8000, image.end(), [](uint8_t b) { return b == 0x5A; }));

    // A gap stays 0xFF, and nothing follows the last record (not 64 KiB).
    const auto gapped = ParseText(Lines({DataRecord(0, {1, 2}), DataRecord(6, {3}), kEndOfFile}));
    EXPECT_EQ(gapped, (std::vector<uint8_t>{1, 2, 0xFF, 0xFF, 0xFF, 0xFF, 3}));
}

TEST(IntelHex, RecordsOutOfOrderAreAllPlaced) {
    const auto image = ParseText(Lines({DataRecord(0x20, {0xC0}), DataRecord(0x00, {0xA0}),
                                        DataRecord(0x10, {0xB0}), kEndOfFile}));
    ASSERT_EQ(image.size(), 0x21u);  // the largest end seen, not the last one
    EXPECT_EQ(image[0x00], 0xA0);
    EXPECT_EQ(image[0x10], 0xB0);
    EXPECT_EQ(image[0x20], 0xC0);
    EXPECT_EQ(CountNot0xFF(image), 3u);
}

TEST(IntelHex, DigitsDecodeByTheCharacterRule) {
    const std::string upper = Lines({HexRecord(0x00, 0x0ABC, {0xDE, 0xAD, 0xBE, 0xEF})});
    std::string lower = upper;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return char(std::tolower(c)); });
    EXPECT_EQ(ParseText(lower), ParseText(upper));
    EXPECT_EQ(ParseText(upper).size(), 0x0AC0u);

    // Any other character decodes by the same rule: 'G' counts 7 + 9 = 16,
    // so "G0" is 0x00 and ":01000000G0FF" is a valid record putting 0x00 at 0.
    EXPECT_EQ(ParseText(":01000000G0FF\n:01000100AB53\n"), (std::vector<uint8_t>{0x00, 0xAB}));
}

TEST(IntelHex, ExtendedAddressRecordsSetTheBase) {
    // Type 04 0x0001: data at offset 0 lands at 0x10000.
    auto image = ParseText(Lines({LinearAddress(0x0001), DataRecord(0, {0x42}), kEndOfFile}));
    ASSERT_EQ(image.size(), 0x10001u);
    EXPECT_EQ(image[0x10000], 0x42);
    EXPECT_EQ(CountNot0xFF(image), 1u);

    // Type 02 0x1000 means 0x1000 << 4 = 0x10000 too.
    image = ParseText(Lines({SegmentAddress(0x1000), DataRecord(2, {0x43}), kEndOfFile}));
    ASSERT_EQ(image.size(), 0x10003u);
    EXPECT_EQ(image[0x10002], 0x43);

    // Each base replaces the last, and earlier data is not moved or lost.
    image = ParseText(
        Lines({LinearAddress(0x0002), DataRecord(0, {0x22}), LinearAddress(0x0001),
               DataRecord(0, {0x11}), SegmentAddress(0x0010), DataRecord(0, {0x33}), kEndOfFile}));
    ASSERT_EQ(image.size(), 0x20001u);
    EXPECT_EQ(image[0x20000], 0x22);
    EXPECT_EQ(image[0x10000], 0x11);
    EXPECT_EQ(image[0x00100], 0x33);
    EXPECT_EQ(CountNot0xFF(image), 3u);
}

TEST(IntelHex, MisshapedAddressRecordsAreIgnored) {
    const auto image = ParseText(Lines({
        HexRecord(0x04, 0, {0x00, 0x01, 0x00}),  // three data bytes
        HexRecord(0x04, 0x0010, {0x00, 0x01}),   // non-zero offset
        HexRecord(0x02, 0, {0x10}),              // one data byte
        DataRecord(0x0004, {0x77}),              // so this is still at base 0
        kEndOfFile,
    }));
    EXPECT_EQ(image, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0x77}));
}

TEST(IntelHex, BadChecksumEndsTheConversion) {
    const auto image = ParseText(
        Lines({DataRecord(0, {1}), HexRecord(0x00, 1, {2}, 1), DataRecord(2, {3}), kEndOfFile}));
    EXPECT_EQ(image, (std::vector<uint8_t>{1}));  // the valid record after it is not read
}

TEST(IntelHex, EveryOtherTypeEndsTheConversion) {
    for (uint8_t type : {0x01, 0x03, 0x05, 0x06, 0x7F, 0xFF}) {
        SCOPED_TRACE(int(type));
        const auto image =
            ParseText(Lines({DataRecord(0, {1}), HexRecord(type, 0, {}), DataRecord(1, {2})}));
        EXPECT_EQ(image, (std::vector<uint8_t>{1}));
    }
}

TEST(IntelHex, NoDataGivesAnEmptyImage) {
    EXPECT_TRUE(ParseText("").empty());
    EXPECT_TRUE(ParseText(Lines({kEndOfFile, DataRecord(0, {1})})).empty());
    EXPECT_TRUE(ParseText("not a hex file\n").empty());
    // An address record alone needs no image, even a large one.
    EXPECT_TRUE(ParseText(Lines({LinearAddress(0x0800), kEndOfFile})).empty());
}

TEST(IntelHex, LinesEndInAnyMixOfCrAndLf) {
    const std::vector<uint8_t> expected = {1, 2, 3};
    for (const char* end : {"\r\n", "\n", "\r", "\n\n\r\n\r\r"}) {
        const auto text =
            Lines({DataRecord(0, {1}), DataRecord(1, {2}), DataRecord(2, {3}), kEndOfFile}, end);
        EXPECT_EQ(ParseText(text), expected)
            << "line end " << ::testing::PrintToString(std::string(end));
        EXPECT_EQ(ParseText(end + text), expected);
    }
    // The last line needs no line end.
    EXPECT_EQ(ParseText(DataRecord(0, {1}) + "\n" + DataRecord(1, {2})),
              (std::vector<uint8_t>{1, 2}));
}

TEST(IntelHex, OnlyLinesStartingWithAColonAreRecords) {
    const auto image =
        ParseText(Lines({"; comment: with a colon", DataRecord(0, {1}),
                         std::string(1, ' ').append(DataRecord(1, {2})),  // leading space hides it
                         std::string(1, '\t').append(DataRecord(2, {3})), DataRecord(3, {4})}));
    EXPECT_EQ(image, (std::vector<uint8_t>{1, 0xFF, 0xFF, 4}));
}

TEST(IntelHex, TextEndsAtTheFirstZeroByte) {
    std::string text = Lines({DataRecord(0, {1})});
    text.push_back('\0');
    text += Lines({DataRecord(1, {2})});
    EXPECT_EQ(ParseText(text), (std::vector<uint8_t>{1}));
    // A zero inside a record cuts that record short, which then fails.
    std::string cut = DataRecord(0, {1, 2, 3, 4});
    cut[12] = '\0';
    EXPECT_TRUE(ParseText(cut).empty());
}

TEST(IntelHex, ZeroLengthDataRecordStillMovesTheHighestEnd) {
    const auto image = ParseText(Lines({DataRecord(0, {7}), DataRecord(0x10, {}), kEndOfFile}));
    ASSERT_EQ(image.size(), 0x10u);
    EXPECT_EQ(image[0], 7);
    EXPECT_EQ(CountNot0xFF(image), 1u);
}

TEST(IntelHex, MalformedLinesAreSkippedOrEndTheConversionSafely) {
    // A bare colon carries nothing and is skipped; so is a colon with one character.
    EXPECT_EQ(ParseText(Lines({":", DataRecord(0, {1}), ":F", DataRecord(1, {2})})),
              (std::vector<uint8_t>{1, 2}));
    // An unpaired last character is ignored: a trailing space does no harm.
    EXPECT_EQ(ParseText(Lines({DataRecord(0, {1}) + " ", DataRecord(1, {2}) + "7"})),
              (std::vector<uint8_t>{1, 2}));
    // Pair count differs from the length byte (checksums made to fit): stop.
    // The record says 16 bytes but holds 2: its data is never read past its pairs.
    EXPECT_EQ(
        ParseText(Lines({DataRecord(0, {1}), RecordFromBytes({0x10, 0x00, 0x10, 0x00, 0x01, 0x02}),
                         DataRecord(2, {3})})),
        (std::vector<uint8_t>{1}));
    // One extra pair (zero, so the sum still fits): stop as well.
    EXPECT_EQ(ParseText(Lines({DataRecord(0, {1}), DataRecord(1, {2}) + "00", DataRecord(2, {3})})),
              (std::vector<uint8_t>{1}));
    // More than 260 pairs can never be a record: stop, never overrun the record buffer.
    const std::string longLine = std::string(1, ':').append(2 * 261, '0');
    EXPECT_EQ(ParseText(Lines({DataRecord(0, {1}), longLine, DataRecord(1, {2})})),
              (std::vector<uint8_t>{1}));
    EXPECT_EQ(ParseText(Lines({DataRecord(0, {1}), std::string(1, ':').append(100000, 'F')})),
              (std::vector<uint8_t>{1}));
    // Truncated header: stop.
    EXPECT_EQ(ParseText(Lines({DataRecord(0, {1}), ":01FF", DataRecord(1, {2})})),  // sums to 0
              (std::vector<uint8_t>{1}));
}

TEST(IntelHex, LongestRecordIsAccepted) {
    std::vector<uint8_t> data(255);
    for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i);
    EXPECT_EQ(ParseText(Lines({DataRecord(0, data), kEndOfFile})), data);
}

TEST(IntelHex, RecordRunningPast64KiBEnlargesTheImage) {
    const std::vector<uint8_t> data(32, 0xAB);
    const auto image = ParseText(Lines({DataRecord(0xFFF0, data), kEndOfFile}));
    ASSERT_EQ(image.size(), 0x10010u);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), image.begin() + 0xFFF0));
    // And past the 64 KiB window of a base.
    const auto based =
        ParseText(Lines({LinearAddress(0x0003), DataRecord(0xFFFF, {1, 2}), kEndOfFile}));
    ASSERT_EQ(based.size(), 0x40001u);
    EXPECT_EQ(based[0x3FFFF], 1);
    EXPECT_EQ(based[0x40000], 2);
}

TEST(IntelHex, BytesAt4GiBOrAboveEndTheConversionWithoutWrapping) {
    // 0xFFFF0000 + 0xFFFF + 2 bytes would cross 4 GiB; nothing wraps to address 0.
    auto image =
        ParseText(Lines({DataRecord(0, {9}), LinearAddress(0xFFFF), DataRecord(0xFFFF, {1, 2}),
                         LinearAddress(0x0000), DataRecord(1, {8})}));
    EXPECT_EQ(image, (std::vector<uint8_t>{9}));
    // The image length is a 32-bit count, so even the byte at 0xFFFFFFFF cannot be held.
    image = ParseText(Lines({DataRecord(0, {9}), LinearAddress(0xFFFF), DataRecord(0xFFFF, {1})}));
    EXPECT_EQ(image, (std::vector<uint8_t>{9}));
    // A segment base cannot reach that far: 0xFFFF << 4 + 0xFFFF is just past 1 MiB.
    image = ParseText(Lines({SegmentAddress(0xFFFF), DataRecord(0xFFFF, {5})}));
    ASSERT_EQ(image.size(), 0x10FFF0u);
    EXPECT_EQ(image.back(), 5);
}

TEST(IntelHex, GeneratedFileConvertsToItsImage) {
    // Mixed record lengths, gaps, segment and linear address records.
    const GeneratedHex hex = GenerateIntelHex(1u << 20 | 0x1234, 7, true);
    std::vector<uint8_t> buffer = hex.text;
    ASSERT_EQ(ParseIntelHex(buffer), hex.image.size());
    EXPECT_TRUE(buffer == hex.image);
    // The image is allocated once at its length, never grown by doubling.
    EXPECT_EQ(buffer.capacity(), buffer.size());
}

TEST(ImageChecksum, IsTheSixteenBitSumOfTheBytes) {
    const std::vector<uint8_t> small = {0x01, 0x02, 0xFF};
    EXPECT_EQ(ImageChecksum(small.data(), small.size()), 0x0102);
    const std::vector<uint8_t> ff(258, 0xFF);  // 258 * 255 = 65790 = 0x100FE
    EXPECT_EQ(ImageChecksum(ff.data(), ff.size()), 0x00FE);
    EXPECT_EQ(ImageChecksum(nullptr, 0), 0x0000);
    const std::vector<uint8_t> many(0x30000, 0x01);  // wraps three times, no carry folded back
    EXPECT_EQ(ImageChecksum(many.data(), many.size()), 0x0000);
    const std::vector<uint8_t> big(1000000, 0xFF);  // 255000000 mod 65536
    EXPECT_EQ(ImageChecksum(big.data(), big.size()), uint16_t(255000000u % 65536u));
}

}  // namespace
