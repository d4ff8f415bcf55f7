#include "cli/SerialFormat.h"

#include <charconv>
#include <limits>

uint64_t SerialFormat::Largest() const {
    const uint32_t base = kind == Kind::Decimal ? 10 : kind == Kind::Hex ? 16 : 256;
    uint64_t largest = 0;
    for (uint32_t i = 0; i < width; ++i) {
        if (largest > (std::numeric_limits<uint64_t>::max() - (base - 1)) / base)
            return std::numeric_limits<uint64_t>::max();
        largest = largest * base + (base - 1);
    }
    return largest;
}

void SerialFormat::Write(uint64_t number, uint8_t* out) const {
    for (uint32_t i = 0; i < width; ++i) {
        // Position i counted from the least significant byte or digit.
        uint8_t* at = kind == Kind::LittleEndian ? out + i : out + width - 1 - i;
        switch (kind) {
            case Kind::Decimal:
                *at = static_cast<uint8_t>('0' + number % 10);
                number /= 10;
                break;
            case Kind::Hex:
                *at = static_cast<uint8_t>("0123456789ABCDEF"[number % 16]);
                number /= 16;
                break;
            default:
                *at = static_cast<uint8_t>(number);
                number >>= 8;
        }
    }
}

std::optional<SerialFormat> ParseSerialFormat(const std::string& name) {
    using Kind = SerialFormat::Kind;
    const struct {
        const char* name;
        SerialFormat format;
    } binary[] = {{"u32le", {Kind::LittleEndian, 4}},
                  {"u32be", {Kind::BigEndian, 4}},
                  {"u16le", {Kind::LittleEndian, 2}},
                  {"u16be", {Kind::BigEndian, 2}},
                  {"u64le", {Kind::LittleEndian, 8}}};
    for (const auto& entry : binary)
        if (name == entry.name) return entry.format;

    const size_t colon = name.find(':');
    if (colon == std::string::npos) return std::nullopt;
    const std::string prefix = name.substr(0, colon);
    // 20 decimal or 16 hex digits hold any 64-bit number.
    const Kind kind = prefix == "dec" ? Kind::Decimal : Kind::Hex;
    const uint32_t most = kind == Kind::Decimal ? 20 : 16;
    if (prefix != "dec" && prefix != "hex") return std::nullopt;
    uint32_t digits = 0;
    const char* first = name.data() + colon + 1;
    const char* last = name.data() + name.size();
    const auto [end, error] = std::from_chars(first, last, digits);
    if (first == last || error != std::errc() || end != last || digits < 1 || digits > most)
        return std::nullopt;
    return SerialFormat{kind, digits};
}
