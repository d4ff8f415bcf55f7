// ParseIntelHex: the record rules, line handling, what it refuses as damage
// and what it tolerates, and its bounds on extreme input.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "bench/HexGenerator.h"
#include "image/ImageChecksum.h"
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

TEST(IntelHex, LowerCaseDigitsDecodeLikeUpperCase) {
    const std::string upper = Lines({HexRecord(0x00, 0x0ABC, {0xDE, 0xAD, 0xBE, 0xEF})});
    std::string lower = upper;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](char c) { return char(std::tolower(c)); });
    EXPECT_EQ(ParseText(lower), ParseText(upper));
    EXPECT_EQ(ParseText(upper).size(), 0x0AC0u);
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

TEST(IntelHex, NoDataGivesAnEmptyImage) {
    EXPECT_TRUE(ParseText(Lines({kEndOfFile, DataRecord(0, {1})})).empty());
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

TEST(IntelHex, LinesThatAreNotRecordsAreIgnored) {
    const auto image =
        ParseText(Lines({"; comment: with a colon", DataRecord(0, {1}), "\x1A", "0123456789ABCDEFG",
                         "012345678", " ", DataRecord(1, {2})}));
    EXPECT_EQ(image, (std::vector<uint8_t>{1, 2}));
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

// Each damaged line, as the third line of a file (after a data record and a
// blank line), under each line-end style: refused with its kind and line.
TEST(IntelHex, DamagedRecordsAreReportedWithTheirLine) {
    std::string record16 = DataRecord(0, std::vector<uint8_t>(16, 0x11));
    std::string wrongDigit = record16;
    wrongDigit[20] = wrongDigit[20] == '0' ? '1' : '0';
    std::string withNul = DataRecord(1, {2, 3});
    withNul[11] = '\0';
    const struct {
        const char* what;
        std::string line;
        HexDamage damage;
    } cases[] = {
        {"bad checksum", HexRecord(0x00, 1, {2}, 1), HexDamage::Checksum},
        {"one wrong digit", wrongDigit, HexDamage::Checksum},
        {"a G", ":01000000G0FF", HexDamage::NotHexDigit},
        {"a space inside", ":0100 0000AB54", HexDamage::NotHexDigit},
        {"a NUL byte", withNul, HexDamage::NotHexDigit},
        {"a character missing", record16.substr(0, 20) + record16.substr(21), HexDamage::OddDigits},
        {"bare colon", ":", HexDamage::LengthMismatch},
        {"header cut short", ":01FF", HexDamage::LengthMismatch},
        {"length larger than the line", RecordFromBytes({0x10, 0x00, 0x10, 0x00, 0x01, 0x02}),
         HexDamage::LengthMismatch},
        {"one pair too many", DataRecord(1, {2}) + "00", HexDamage::LengthMismatch},
        {"over 260 pairs", std::string(1, ':').append(2 * 261, '0'), HexDamage::LengthMismatch},
        {"04 of three bytes", HexRecord(0x04, 0, {0x00, 0x01, 0x00}), HexDamage::AddressRecord},
        {"04 at offset 0x10", HexRecord(0x04, 0x0010, {0x00, 0x01}), HexDamage::AddressRecord},
        {"02 of one byte", HexRecord(0x02, 0, {0x10}), HexDamage::AddressRecord},
        {"05 of two bytes", HexRecord(0x05, 0, {0x12, 0x34}), HexDamage::StartRecord},
        {"03 at offset 1", HexRecord(0x03, 1, {0, 0, 0, 0}), HexDamage::StartRecord},
        {"type 06", HexRecord(0x06, 0, {}), HexDamage::UnknownType},
        {"type FF", HexRecord(0xFF, 0, {1}), HexDamage::UnknownType},
        {"a space before the colon", std::string(1, ' ').append(DataRecord(1, {2})),
         HexDamage::BlankBeforeColon},
        {"a tab before the colon", std::string(1, '\t').append(DataRecord(1, {2})),
         HexDamage::BlankBeforeColon},
        {"the colon lost", DataRecord(1, {2}).substr(1), HexDamage::WithoutColon},
        {"ten digits, blanks after", "0123456789 \t", HexDamage::WithoutColon},
        {"end record with data", ":0100000100FE", HexDamage::EndRecord},
    };
    std::set<std::string> reasons;
    for (const auto& c : cases) {
        reasons.insert(HexDamageReason(c.damage));
        for (const char* end : {"\r\n", "\n", "\r"}) {
            SCOPED_TRACE(testing::Message() << c.what << ", line end " << int(end[1] ? 0 : end[0]));
            const HexResult result = ParseOutcome(
                Lines({DataRecord(0, {1}), "", c.line, DataRecord(2, {3}), kEndOfFile}, end));
            EXPECT_EQ(result.status, HexStatus::Damaged);
            EXPECT_EQ(result.damage, c.damage);
            EXPECT_EQ(result.line, 3u);
        }
    }
    // Crossing 4 GiB, from the top of a linear base; no byte wraps to address 0.
    const HexResult beyond = ParseOutcome(
        Lines({DataRecord(0, {9}), LinearAddress(0xFFFF), DataRecord(0xFFFF, {1, 2}), kEndOfFile}));
    EXPECT_EQ(beyond.status, HexStatus::Damaged);
    EXPECT_EQ(beyond.damage, HexDamage::Beyond4GiB);
    EXPECT_EQ(beyond.line, 3u);
    reasons.insert(HexDamageReason(HexDamage::Beyond4GiB));
    // Every kind has a reason of its own.
    for (HexDamage more : {HexDamage::NoRecords, HexDamage::Conflict, HexDamage::BelowOrigin})
        reasons.insert(HexDamageReason(more));
    EXPECT_EQ(reasons.size(), 14u);
    EXPECT_EQ(reasons.count(""), 0u);
}

TEST(IntelHex, ToleratedTextIsNotDamage) {
    const std::vector<uint8_t> oneTwo = {1, 2};
    const std::string one = DataRecord(0, {1});
    const std::string two = DataRecord(1, {2});
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        {"spaces and tabs after each record", Lines({one + "  ", two + "\t \t", kEndOfFile + " "})},
        {"a byte-order mark", "\xEF\xBB\xBF" + Lines({one, two, kEndOfFile})},
        {"no end record", Lines({one, two})},
        {"an identical repeat", Lines({one, two, one, kEndOfFile})},
        {"anything after the end record", Lines({one, two, kEndOfFile, ":zz", DataRecord(5, {5})})},
        {"a zero-length data record far away",
         Lines({one, LinearAddress(0x4000), DataRecord(0x1000, {}), LinearAddress(0), two})},
    };
    for (const auto& c : cases) EXPECT_EQ(ParseText(c.text), oneTwo) << c.what;
    // A byte-order mark anywhere else is just text: that line is ignored.
    EXPECT_EQ(ParseText(Lines({one, "\xEF\xBB\xBF" + DataRecord(1, {7}), two})), oneTwo);
    // Only the missing end record is told.
    EXPECT_FALSE(ParseOutcome(Lines({one})).endRecord);
    EXPECT_TRUE(ParseOutcome(Lines({one, kEndOfFile})).endRecord);
}

TEST(IntelHex, FilesWithoutRecordsAreRefusedAtLineOne) {
    for (const std::string& text : {std::string(), std::string("not a hex file\n\nat all\n"),
                                    std::string("\xFF\xFE:\x00"
                                                "0\x00",
                                                6)}) {
        const HexResult result = ParseOutcome(text);
        EXPECT_EQ(result.damage, HexDamage::NoRecords) << text;
        EXPECT_EQ(result.line, 1u);
    }
}

TEST(IntelHex, ByteGivenTwoValuesIsRefusedAtTheLaterRecord) {
    // Even when the later one only partly overlaps, and only after all records are read.
    const HexResult result = ParseOutcome(Lines({DataRecord(0x10, {1, 2, 3}), DataRecord(0x20, {4}),
                                                 DataRecord(0x11, {2, 9}), kEndOfFile}));
    EXPECT_EQ(result.damage, HexDamage::Conflict);
    EXPECT_EQ(result.line, 3u);
    EXPECT_EQ(result.address, 0x12u);
}

TEST(IntelHex, OriginStartsTheImageAndRefusesDataBelowIt) {
    const std::string text =
        Lines({LinearAddress(0x0800), DataRecord(0x0010, {1}), DataRecord(0x0012, {2})});
    std::vector<uint8_t> buffer = Bytes(text);
    HexResult result = ParseIntelHex(buffer, ImageOrigin{false, 0x08000000});
    EXPECT_EQ(buffer, (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                            0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0xFF, 2}));
    buffer = Bytes(text);
    result = ParseIntelHex(buffer, ImageOrigin{true, 0});
    EXPECT_EQ(buffer, (std::vector<uint8_t>{1, 0xFF, 2}));
    EXPECT_EQ(result.origin, 0x08000010u);
    EXPECT_EQ(result.lowest, 0x08000010u);
    EXPECT_EQ(result.highest, 0x08000012u);
    buffer = Bytes(text);
    result = ParseIntelHex(buffer, ImageOrigin{false, 0x08000011});
    EXPECT_EQ(result.damage, HexDamage::BelowOrigin);
    EXPECT_EQ(result.address, 0x08000010u);
    EXPECT_TRUE(buffer.empty());
}

TEST(IntelHex, StartAddressRecordsAreKeptAndReadingGoesOn) {
    HexResult result = ParseOutcome(
        Lines({HexRecord(0x05, 0, {0x08, 0x00, 0x01, 0x23}), DataRecord(0, {1}), kEndOfFile}));
    ASSERT_EQ(result.status, HexStatus::Whole);
    ASSERT_TRUE(result.start.has_value());
    EXPECT_EQ(result.start->Entry(), 0x08000123u);
    // Data after it is still placed.
    EXPECT_EQ(ParseText(Lines({DataRecord(0, {1}), HexRecord(0x03, 0, {0x12, 0x34, 0, 5}),
                               DataRecord(1, {2})})),
              (std::vector<uint8_t>{1, 2}));
    // Segment:offset 0xFFFF:0xFFFF is just past 1 MiB; the last record wins.
    result = ParseOutcome(
        Lines({HexRecord(0x05, 0, {1, 2, 3, 4}), HexRecord(0x03, 0, {0xFF, 0xFF, 0xFF, 0xFF})}));
    ASSERT_TRUE(result.start.has_value());
    EXPECT_EQ(result.start->Entry(), 0x10FFEFu);
    EXPECT_FALSE(ParseOutcome(Lines({DataRecord(0, {1})})).start.has_value());
}

TEST(IntelHex, ImagesTooLongForA32BitLengthAreRefusedAsSuch) {
    // The byte at 0xFFFFFFFF is below 4 GiB, but the image would be 4 GiB
    // long: refused as that, not as a lack of memory.
    const HexResult result =
        ParseOutcome(Lines({DataRecord(0, {9}), LinearAddress(0xFFFF), DataRecord(0xFFFF, {1})}));
    EXPECT_EQ(result.status, HexStatus::Damaged);
    EXPECT_EQ(result.damage, HexDamage::TooLong);
    EXPECT_EQ(result.address, 0xFFFFFFFFu);
    // A segment base cannot reach that far: 0xFFFF << 4 + 0xFFFF is just past 1 MiB.
    const auto image = ParseText(Lines({SegmentAddress(0xFFFF), DataRecord(0xFFFF, {5})}));
    ASSERT_EQ(image.size(), 0x10FFF0u);
    EXPECT_EQ(image.back(), 5);
}

TEST(IntelHex, GeneratedFileConvertsToItsImage) {
    // Mixed record lengths, gaps, segment and linear address records.
    const GeneratedHex hex = GenerateIntelHex(1u << 20 | 0x1234, 7, true);
    std::vector<uint8_t> buffer = hex.text;
    ASSERT_EQ(ParseIntelHex(buffer).status, HexStatus::Whole);
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
