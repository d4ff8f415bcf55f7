// Typed digits, line labels, copy text and paste clamping.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "hexedit/core/HexViewText.h"

using namespace hexview;

TEST(HexViewText, OnlyHexDigitsOverwriteADigit) {
    const std::string digits = "0123456789abcdefABCDEF";
    for (uint32_t code = 0; code < 0x300; ++code) {
        uint8_t byte = 0x5A;
        const bool isDigit =
            code < 0x80 && digits.find(static_cast<char>(code)) != std::string::npos;
        EXPECT_EQ(TypeHexDigit(byte, code, true), isDigit) << code;
        EXPECT_EQ(byte & 0x0F, 0x0A) << code;
        if (!isDigit) {
            EXPECT_EQ(byte, 0x5A) << code;
        }
    }
    uint8_t byte = 0x5A;
    ASSERT_TRUE(TypeHexDigit(byte, 'c', true) && TypeHexDigit(byte, '3', false));
    EXPECT_EQ(byte, 0xC3);
}

TEST(HexViewText, LabelsAndCopyText) {
    char label[kMaxLabelDigits];
    struct Label {
        uint32_t address, digits;
        std::string text;
    };
    const Label labels[] = {
        {0x1A0, 6, "0001A0"},
        {0, 0, "0"},
        {0xDEADBEEF, 4, "DEADBEEF"},
        {0x12, 40, std::string(29, '0') + "12"},
    };
    for (const Label& l : labels)
        EXPECT_EQ(std::string(label, FormatAddress(l.address, l.digits, label)), l.text);

    const uint8_t data[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0xA, 0xB, 0xC, 0xD, 0xE, 0xF};
    EXPECT_EQ(CopyText(data, 6, 10, 8), "06 07 08 09 0A\n");  // a row's worth: one line
    EXPECT_EQ(CopyText(data, 6, 15, 8), "                  06 07\n08 09 0A 0B 0C 0D 0E 0F\n");
    EXPECT_EQ(CopyText(data, 0, 2, 0), "00\n01\n02\n");
    EXPECT_EQ(CopyText(data, 9, 3, 8), "");
}

TEST(HexViewText, PasteWritesNoMoreThanTheBlockHoldsOrTheDataTakes) {
    uint8_t prefix[kCountSize];
    StoreCount(0x01020304, prefix);
    EXPECT_EQ(prefix[0], 0x04);
    EXPECT_EQ(LoadCount(prefix), 0x01020304u);

    struct Case {
        uint32_t claimed;
        size_t blockSize;
        uint32_t position, count;
    };
    const Case cases[] = {
        {3, 7, 0, 3}, {50, 7, 0, 3}, {50, 100, 4, 6}, {UINT32_MAX, SIZE_MAX, 9, 1},
        {5, 3, 0, 0}, {5, 9, 10, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PasteCount(c.claimed, c.blockSize, c.position, 10), c.count)
            << c.claimed << " in " << c.blockSize << " at " << c.position;
}

TEST(HexViewText, VisibleColumnsFarFromTheOrigin) {
    uint32_t first = 0, last = 0;
    ASSERT_TRUE(VisibleColumns(-1000000, 21, 100000, 0, 100, first, last));
    EXPECT_EQ(std::pair(first, last), std::pair(47618u, 47624u));
    EXPECT_FALSE(VisibleColumns(500, 21, 16, 0, 100, first, last));
    EXPECT_FALSE(VisibleColumns(-1000, 21, 16, 0, 100, first, last));
}
