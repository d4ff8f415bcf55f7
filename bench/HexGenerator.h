// Makes a large, valid Intel HEX text in memory, with the image it describes:
// mostly 16- and 32-byte records with some short and some 255-byte ones,
// random gaps left at 0xFF, extended segment (02) records below 1 MiB and
// extended linear (04) records above, CR LF line ends and a closing 01 record.
// The same seed gives the same text on every platform.
#pragma once

#include <cstdint>
#include <vector>

struct GeneratedHex {
    std::vector<uint8_t> text;
    std::vector<uint8_t> image;  // what the text converts to; empty unless asked for
};

// The image is exactly `imageLength` bytes long: the last record ends there.
GeneratedHex GenerateIntelHex(uint32_t imageLength, uint32_t seed, bool withImage);
