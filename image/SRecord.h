// Motorola S-record text to flat image.
#pragma once

#include <cstdint>
#include <vector>

#include "image/PlacedData.h"
#include "image/ReaderResult.h"

// Converts the S-record text held by `buffer` into a flat image starting at
// `origin` (unwritten bytes 0xFF). Ownership passes as for ParseIntelHex:
// on return `buffer` holds the image when Whole, nothing otherwise.
//
// A record is a line that begins with 'S' (or 's'); its type, the next
// character, must be a digit. S1/S2/S3
// place their data at a 16/24/32-bit address; S0 is checked and ignored;
// S5/S6 must count the S1/S2/S3 records before them; S7/S8/S9 give the entry
// address and end the reading (what follows is ignored). Every record's
// digits, length and checksum are checked; the first damaged record ends the
// reading, with its line. Refused as well: no record at all, a record hidden
// by blanks or that lost its 'S', a byte given two different values, data
// below the origin, data reaching further than the origin allows. Tolerated: other text lines,
// blanks at the end of a line, a UTF-8 byte-order mark, no S7/S8/S9 (endRecord false, unless a
// matching S5/S6 follows the last data record). Never throws.
ReaderResult ParseSRecord(std::vector<uint8_t>& buffer, ImageOrigin origin = {});
