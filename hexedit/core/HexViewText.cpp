#include "hexedit/core/HexViewText.h"

#include <algorithm>
#include <vector>

#include "image/HexDigits.h"

namespace hexview {

bool TypeHexDigit(uint8_t& byte, uint32_t code, bool highNibble) {
    if (code > 0xFF) return false;
    const auto c = static_cast<uint8_t>(code);
    // The reader's decoding gives every character some value; only those
    // that are spelled by that value's digit (either case) are digits.
    const uint8_t value = hexdigits::DigitValue(c);
    if (value > 0x0F) return false;
    const auto digit = static_cast<uint8_t>(kHexDigitChars[value]);
    if (c != digit && c != (digit | 0x20)) return false;
    byte = highNibble ? static_cast<uint8_t>((byte & 0x0F) | (value << 4))
                      : static_cast<uint8_t>((byte & 0xF0) | value);
    return true;
}

size_t FormatAddress(uint32_t address, uint32_t digits, char (&out)[kMaxLabelDigits]) {
    size_t needed = 1;
    while (needed < 8 && (address >> (4 * needed)) != 0) ++needed;
    const size_t width = std::max<size_t>(std::min(digits, kMaxLabelDigits), needed);
    for (size_t i = 0; i < width; ++i) {
        const size_t shift = 4 * (width - 1 - i);
        out[i] = shift < 32 ? kHexDigitChars[(address >> shift) & 0x0F] : '0';
    }
    return width;
}

std::string CopyText(const uint8_t* data, uint32_t start, uint32_t end, uint32_t perLine) {
    std::string text;
    if (!data || start > end) return text;
    if (perLine == 0) perLine = 1;
    // More than one row's worth plus one byte: the lines follow the view's
    // rows and the first one is indented to its column.
    uint32_t column = end - start > perLine ? start % perLine : 0;
    std::vector<char> line(3 * size_t{perLine} + 2, ' ');
    text.reserve(3 * (size_t{end} - start + 1) + 3 * size_t{perLine});
    uint64_t next = start;
    while (next <= end) {
        while (column < perLine && next <= end) {
            const uint8_t byte = data[next++];
            line[3 * size_t{column}] = kHexDigitChars[byte >> 4];
            line[3 * size_t{column} + 1] = kHexDigitChars[byte & 0x0F];
            ++column;
        }
        text.append(line.data(), 3 * size_t{column} - 1);
        text.push_back('\n');
        column = 0;
    }
    return text;
}

void StoreCount(uint32_t count, uint8_t* out) {
    for (size_t i = 0; i < kCountSize; ++i) out[i] = static_cast<uint8_t>(count >> (8 * i));
}

uint32_t LoadCount(const uint8_t* in) {
    uint32_t count = 0;
    for (size_t i = 0; i < kCountSize; ++i) count |= uint32_t{in[i]} << (8 * i);
    return count;
}

uint32_t PasteCount(uint32_t claimed, size_t blockSize, uint32_t position, uint32_t dataSize) {
    if (blockSize < kCountSize || position >= dataSize) return 0;
    const uint64_t held = blockSize - kCountSize;
    return static_cast<uint32_t>(
        std::min<uint64_t>({claimed, uint64_t{dataSize} - position, held}));
}

bool VisibleColumns(int64_t origin, int64_t cellWidth, uint32_t count, int64_t clipLeft,
                    int64_t clipRight, uint32_t& first, uint32_t& last) {
    if (count == 0 || cellWidth <= 0) return false;
    const int64_t lastColumn = int64_t{count} - 1;
    const int64_t lo = std::max<int64_t>((clipLeft - origin) / cellWidth - 1, 0);
    const int64_t hi = std::min<int64_t>((clipRight - origin) / cellWidth + 1, lastColumn);
    if (clipRight < origin - cellWidth || lo > hi) return false;
    first = static_cast<uint32_t>(lo);
    last = static_cast<uint32_t>(hi);
    return true;
}

}  // namespace hexview
