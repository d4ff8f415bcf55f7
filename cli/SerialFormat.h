// How a board's serial number is written into its image: the --serial-format
// names and the bytes each one gives.
//   u32le (default), u32be, u16le, u16be, u64le: the number in binary
//   dec:N, hex:N: N ASCII digits, zero-padded (hex in upper case), N 1..20 / 1..16
// A number that needs more bytes or digits than the format has does not fit;
// it is refused, never cut short.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

struct SerialFormat {
    enum class Kind { LittleEndian, BigEndian, Decimal, Hex } kind = Kind::LittleEndian;
    uint32_t width = 4;  // bytes of a binary number, digits of a text one

    uint32_t Size() const { return width; }  // bytes written into the image
    uint64_t Largest() const;                // the largest number that fits
    // `out` receives Size() bytes; `number` must be at most Largest().
    void Write(uint64_t number, uint8_t* out) const;
};

// Nothing when `name` is not a format.
std::optional<SerialFormat> ParseSerialFormat(const std::string& name);
