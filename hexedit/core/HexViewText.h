// The characters of the hex view: typed hex digits, the text of the address
// and hex columns, the text and binary forms of a copy, and how much of a
// pasted block may be written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace hexview {

// The digits the view shows and copies.
inline constexpr char kHexDigitChars[] = "0123456789ABCDEF";

// Overwrites the high or low digit of `byte` with the typed character; false
// (and `byte` untouched) when it is no hex digit.
bool TypeHexDigit(uint8_t& byte, uint32_t code, bool highNibble);

// Appends the hex cells of bytes [from, to] of a line of `count` bytes:
// "HH HH ... HH", with no blank after the line's last byte.
template <class String>
void AppendHexCells(String& text, const uint8_t* line, uint32_t from, uint32_t to, uint32_t count) {
    for (uint64_t c = from; c <= to; ++c) {
        const uint8_t byte = line[c];
        text.push_back(static_cast<typename String::value_type>(kHexDigitChars[byte >> 4]));
        text.push_back(static_cast<typename String::value_type>(kHexDigitChars[byte & 0x0F]));
        if (c + 1 < count) text.push_back(' ');
    }
}

// Printable in the C locale: 0x20 to 0x7E; everything else is shown as '.'.
inline char AsciiCell(uint8_t byte) {
    return byte >= 0x20 && byte <= 0x7E ? static_cast<char>(byte) : '.';
}

// The label of a line: `address` in upper-case hex, zero-padded to `digits`
// (at most kMaxLabelDigits); a wider address is shown whole. Returns the
// length written to `out`.
inline constexpr uint32_t kMaxLabelDigits = 31;
size_t FormatAddress(uint32_t address, uint32_t digits, char (&out)[kMaxLabelDigits]);

// The text form of bytes [start, end] of `data` with `perLine` bytes per view
// row: upper-case hex pairs, one line per row, each ended by '\n'.
std::string CopyText(const uint8_t* data, uint32_t start, uint32_t end, uint32_t perLine);

// The binary clipboard form is a 32-bit little-endian count, then the bytes.
inline constexpr size_t kCountSize = 4;
void StoreCount(uint32_t count, uint8_t* out);
uint32_t LoadCount(const uint8_t* in);

// How many bytes a paste at `position` writes: what the block claims, cut to
// the bytes it really holds after its count and to the room left in the data.
uint32_t PasteCount(uint32_t claimed, size_t blockSize, uint32_t position, uint32_t dataSize);

// The byte columns [first, last] of a line of `count` bytes whose cells of
// `cellWidth` pixels start at x `origin` that can reach the span
// [clipLeft, clipRight]; one more column either side covers glyphs that
// overhang their cell. False when none can.
bool VisibleColumns(int64_t origin, int64_t cellWidth, uint32_t count, int64_t clipLeft,
                    int64_t clipRight, uint32_t& first, uint32_t& last);

}  // namespace hexview
