// Intel HEX text to flat image, and the image checksum.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Converts the Intel HEX text held by `buffer` into a flat image starting at
// address 0 (unwritten bytes 0xFF). Ownership passes in and out: on return
// `buffer` holds the image (exactly the returned number of bytes) and the text
// is gone. The text ends at the end of the buffer or at its first zero byte.
// Lenient and silent: a bad record ends the conversion with what was placed
// before it. Bad means a wrong checksum, a type other than 00/02/04, a pair
// count other than length + 5 (an unpaired last character is ignored, a bare
// colon skipped), a byte at 0xFFFFFFFF or above (lengths are 32-bit), or an
// image larger than the heap can supply. The image is allocated once, at its
// final length. Never throws.
uint32_t ParseIntelHex(std::vector<uint8_t>& buffer);

// Sum of all bytes modulo 65536.
uint16_t ImageChecksum(const uint8_t* bytes, size_t count);
