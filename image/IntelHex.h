// Intel HEX text to flat image, and the image checksum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Converts the Intel HEX text held by `buffer` into a flat image starting at
// address 0 (unwritten bytes 0xFF). Ownership passes in and out: on return
// `buffer` holds the image and the text is gone. Returns the image length.
// Lenient and silent: a bad record ends the conversion with what was placed.
uint32_t ParseIntelHex(std::vector<uint8_t>& buffer);

// Sum of all bytes modulo 65536.
uint16_t ImageChecksum(const uint8_t* bytes, size_t count);
