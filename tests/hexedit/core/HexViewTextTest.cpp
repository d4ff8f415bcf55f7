// Typed digits, line labels, copy text and paste clamping.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "hexedit/core/HexViewText.h"

using namespace hexview;

TEST(HexViewText, OnlyHexDigitsOverwriteADigit) {
    const std::string digits = "0123456789abcdefABCDEF";
    for (uint32_t code = 0; code < 0x300; ++code) {
        uint8_t byte = 0x5A;
        const bool isDigit =
            code < 0x80 && digits.find(static_cast<char>(code)) != std::string::npos;
        EXPECT_EQ(TypeHexDigit(byte, code, true), isDigit) << code;
        if (!isDigit) {
            EXPECT_EQ(byte, 0x5A) << code;
        }
    }
    uint8_t byte = 0x5A;
    ASSERT_TRUE(TypeHexDigit(byte, 'c', true));
    EXPECT_EQ(byte, 0xCA);
    ASSERT_TRUE(TypeHexDigit(byte, '3', false));
    EXPECT_EQ(byte, 0xC3);
}

TEST(HexViewText, LabelsAndCells) {
    char label[kMaxLabelDigits];
    struct Case {
        uint32_t address, digits;
        std::string text;
    };
    const Case cases[] = {
        {0x1A0, 6, "0001A0"},
        {0x1A0, 0, "1A0"},
        {0xDEADBEEF, 4, "DEADBEEF"},
        {0, 0, "0"},
        {0x12, 40, std::string(29, '0') + "12"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(std::string(label, FormatAddress(c.address, c.digits, label)), c.text);

    const uint8_t line[] = {0x00, 0x9F, 0xA0, 0xFF};
    std::wstring text;
    AppendHexCells(text, line, 1, 3, 4);
    EXPECT_EQ(text, L"9F A0 FF");
    text.clear();
    AppendHexCells(text, line, 0, 1, 4);
    EXPECT_EQ(text, L"00 9F ");
    EXPECT_EQ(AsciiCell('~'), '~');
    EXPECT_EQ(AsciiCell(0x7F), '.');
    EXPECT_EQ(AsciiCell(0x1F), '.');
}

TEST(HexViewText, CopyTextFollowsTheRows) {
    std::vector<uint8_t> data(40);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    struct Case {
        uint32_t start, end, perLine;
        std::string text;
    };
    const Case cases[] = {
        {2, 5, 8, "02 03 04 05\n"},
        {6, 10, 8, "06 07 08 09 0A\n"},  // a row's worth or less: one line
        {6, 15, 8, "                  06 07\n08 09 0A 0B 0C 0D 0E 0F\n"},
        {0, 2, 0, "00\n01\n02\n"},
        {9, 3, 8, ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CopyText(data.data(), c.start, c.end, c.perLine), c.text)
            << c.start << ".." << c.end;
}

TEST(HexViewText, CountsAndPasteClamping) {
    uint8_t prefix[kCountSize];
    StoreCount(0x01020304, prefix);
    EXPECT_EQ(prefix[0], 0x04);
    EXPECT_EQ(prefix[3], 0x01);
    EXPECT_EQ(LoadCount(prefix), 0x01020304u);

    struct Case {
        uint32_t claimed;
        size_t blockSize;
        uint32_t position, dataSize, count;
    };
    const Case cases[] = {
        {3, 7, 0, 10, 3}, {50, 7, 0, 10, 3}, {50, 100, 4, 10, 6}, {UINT32_MAX, SIZE_MAX, 9, 10, 1},
        {5, 3, 0, 10, 0}, {5, 9, 10, 10, 0}, {0, 9, 0, 10, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PasteCount(c.claimed, c.blockSize, c.position, c.dataSize), c.count)
            << c.claimed << " in " << c.blockSize << " at " << c.position;
}

TEST(HexViewText, VisibleColumnsOfALine) {
    uint32_t first = 0, last = 0;
    ASSERT_TRUE(VisibleColumns(0, 21, 16, 0, 100, first, last));
    EXPECT_EQ(first, 0u);
    EXPECT_EQ(last, 5u);
    ASSERT_TRUE(VisibleColumns(-1000000, 21, 100000, 0, 100, first, last));
    EXPECT_EQ(first, 47618u);
    EXPECT_EQ(last, 47624u);
    EXPECT_FALSE(VisibleColumns(500, 21, 16, 0, 100, first, last));
    EXPECT_FALSE(VisibleColumns(-1000, 21, 16, 0, 100, first, last));
    EXPECT_FALSE(VisibleColumns(0, 0, 16, 0, 100, first, last));
}
