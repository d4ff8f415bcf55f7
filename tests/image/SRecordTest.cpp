// ParseSRecord: where each record type puts its data, what ends the reading,
// what it refuses with line and reason, and what it tolerates.
#include <gtest/gtest.h>

#include "image/SRecord.h"
#include "tests/image/HexText.h"

namespace {

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    return text;
}

ReaderResult Parse(const std::string& text, std::vector<uint8_t>& image, ImageOrigin origin = {}) {
    image = Bytes(text);
    return ParseSRecord(image, origin);
}

TEST(SRecord, DataRecordsPlaceTheirBytesAndTheTerminationGivesTheEntry) {
    std::vector<uint8_t> image;
    const ReaderResult result =
        Parse(Lines({SRecordLine(0, 0, {'h', 'd', 'r'}), SRecordLine(1, 0x0002, {1, 2}),
                     SRecordLine(2, 0x000005, {3}), SRecordLine(3, 0x00000006, {4}),
                     SRecordLine(5, 3, {}), SRecordLine(8, 0x123456, {}),
                     SRecordLine(1, 0x0000, {9})}),  // after the end: ignored
              image);
    ASSERT_EQ(result.status, ReaderStatus::Whole) << result.reason;
    EXPECT_EQ(image, (std::vector<uint8_t>{0xFF, 0xFF, 1, 2, 0xFF, 3, 4}));
    EXPECT_EQ(result.entry, 0x123456u);
    EXPECT_TRUE(result.endRecord);
    ASSERT_TRUE(result.range);
    EXPECT_EQ(result.range->low, 2u);
    EXPECT_EQ(result.range->high, 6u);

    // Each termination width; lower case and trailing blanks; no termination is told.
    for (const auto& [line, entry] : {std::pair{SRecordLine(7, 0x08000123, {}), 0x08000123u},
                                      std::pair{SRecordLine(9, 0xBEEF, {}), 0xBEEFu}}) {
        EXPECT_EQ(Parse(Lines({SRecordLine(1, 0, {1}), line}), image).entry, entry);
    }
    const ReaderResult open = Parse("s104000001FA \t\n", image);
    EXPECT_EQ(image, std::vector<uint8_t>{1});
    EXPECT_FALSE(open.endRecord);
    EXPECT_FALSE(open.entry);
    // A matching count after the last data record ends the file as srec_cat writes it.
    EXPECT_TRUE(Parse(Lines({SRecordLine(1, 0, {1}), SRecordLine(5, 1, {})}), image).endRecord);
    EXPECT_FALSE(Parse(Lines({SRecordLine(5, 0, {}), SRecordLine(1, 0, {1})}), image).endRecord);
}

TEST(SRecord, CountRecordsMustCountTheDataRecordsBeforeThem) {
    std::vector<uint8_t> image;
    const std::string two = SRecordLine(1, 0, {1}) + "\n" + SRecordLine(1, 1, {}) + "\n";
    EXPECT_EQ(Parse(two + SRecordLine(5, 2, {}), image).status, ReaderStatus::Whole);
    EXPECT_EQ(Parse(two + SRecordLine(6, 2, {}), image).status, ReaderStatus::Whole);
    const ReaderResult wrong = Parse(two + SRecordLine(5, 3, {}), image);
    EXPECT_EQ(wrong.reason, "record count does not match");
    EXPECT_EQ(wrong.line, 3u);
}

// Each damaged line as the third of a file: refused with its reason and line.
TEST(SRecord, DamagedRecordsAreReportedWithTheirLine) {
    const struct {
        std::string line;
        const char* reason;
    } cases[] = {
        {SRecordLine(1, 0x10, {2}, 1), "checksum mismatch"},
        {"S1040010G2E9", "not a hex digit"},
        {"S104001002E", "odd number of digits"},
        {"S1", "length byte does not match the record"},
        {"S 1040010F2E9", "record type is not a digit"},
        {"SX130020000102030405060708090A0B0C0D0E0FC0", "record type is not a digit"},
        {"S", "record type is not a digit"},
        {"s\t", "record type is not a digit"},
        {"S105001002E8", "length byte does not match the record"},
        {SRecordLine(4, 0, {1}), "unknown record type"},
        {"S3030000FC", "record too short for its address"},
        {SRecordLine(5, 1, {0}), "bad count record"},
        {SRecordLine(9, 0, {0}), "bad termination record"},
        {SRecordLine(3, 0xFFFFFFFF, {1, 2}), "data at or above 4 GiB"},
        {std::string(1, ' ').append(SRecordLine(1, 0, {1})), "blank before 'S'"},
        {SRecordLine(1, 0, {1}).substr(2), "record without 'S'"},
        {SRecordLine(1, 0, {1, 2, 3}), "0x00000001 already holds another value"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> image;
        const ReaderResult result = Parse(
            Lines({SRecordLine(1, 0, {1, 7}), "; a comment\x1A", c.line, SRecordLine(9, 0, {})}),
            image);
        EXPECT_EQ(result.status, ReaderStatus::Damaged) << c.reason;
        EXPECT_EQ(result.reason, c.reason);
        EXPECT_EQ(result.line, 3u) << c.reason;
        EXPECT_TRUE(image.empty());
    }
    std::vector<uint8_t> image;
    for (const char* text : {"", "no records here\n", ":0100000001FE\n"}) {
        const ReaderResult none = Parse(text, image);
        EXPECT_EQ(none.reason, "no records") << text;
        EXPECT_EQ(none.line, 1u);
    }
}

}  // namespace
