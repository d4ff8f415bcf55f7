// The image checksum the dialog shows and the download header carries.
#pragma once

#include <cstddef>
#include <cstdint>

// Sum of all bytes modulo 65536 (16-bit additive, no complement).
uint16_t ImageChecksum(const uint8_t* bytes, size_t count);
