// ELF executable (32- or 64-bit, either byte order) to flat image.
#pragma once

#include <cstdint>
#include <vector>

#include "image/PlacedData.h"
#include "image/ReaderResult.h"

// Converts the ELF file held by `buffer` into a flat image starting at
// `origin`. Ownership passes as for ParseIntelHex.
//
// The image holds the file bytes of every PT_LOAD segment at its physical
// address (p_paddr: where the loader's copy lives in flash, which for
// initialised data differs from its address in RAM); memory beyond a
// segment's file bytes is not part of it. e_entry gives the entry address.
// For AVR, segments at 0x800000 and above (data memory, EEPROM, fuses, lock
// bits, signature) are not program memory: they are left out and named in
// `leftOut`. Refused with a reason: a file too short or not ELF, a segment
// table or segment that runs past the end of the file, a segment with more
// file bytes than memory bytes or reaching 4 GiB, no loadable bytes, two
// segments that give one address different values, data below the origin.
// Segments are numbered from 0 in the order of the segment table.
ReaderResult ParseElf(std::vector<uint8_t>& buffer, ImageOrigin origin = {});
