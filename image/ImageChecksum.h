// The image checksum the dialog shows and the download header carries.
#pragma once

#include <cstddef>
#include <cstdint>

// Sum of all bytes modulo 65536 (16-bit additive, no complement).
uint16_t ImageChecksum(const uint8_t* bytes, size_t count);

// CRC-32/ISO-HDLC, the one zlib's crc32() computes (reflected 0x04C11DB7,
// initial and final value 0xFFFFFFFF): `crc` is the value of the bytes before,
// 0 for none, so a long image may be taken in pieces.
uint32_t ImageCrc32(const uint8_t* bytes, size_t count, uint32_t crc = 0);
