// Intel HEX text to flat image.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "image/PlacedData.h"

// Why a HEX file is damaged; each kind has its own short reason.
enum class HexDamage : uint8_t {
    None,
    Checksum,          // the bytes of a record do not sum to 0 modulo 256
    NotHexDigit,       // a character inside a record is not a hex digit
    OddDigits,         // a record has an odd number of digits
    LengthMismatch,    // pair count is not the length byte + 5 (or there is no length byte)
    AddressRecord,     // type 02/04 whose length is not 2 or whose offset is not 0
    StartRecord,       // type 03/05 whose length is not 4 or whose offset is not 0
    UnknownType,       // a type above 05
    Beyond4GiB,        // a data record would place a byte at or above 4 GiB
    NoRecords,         // not one line begins with ':'
    BlankBeforeColon,  // a line whose first character other than a blank is ':'
    WithoutColon,      // a line of ten or more hex digits and nothing else
    EndRecord,         // type 01 whose length is not 0
    Conflict,          // a record gives `address` a different value from an earlier one
    BelowOrigin,       // data at `address`, below the image's origin (line 0)
    TooWide,           // from the origin to `address`, the highest, is over the limit (line 0)
    TooLong,           // from the origin to `address` is exactly 4 GiB (line 0)
};

// "checksum mismatch" and the like: lower case, no line break.
const char* HexDamageReason(HexDamage damage);

// A start-address record: where the program starts once loaded.
struct StartAddress {
    uint8_t type = 0;    // 0x03 (segment:offset) or 0x05 (32-bit linear)
    uint32_t value = 0;  // 05: the address; 03: segment << 16 | offset
    // The address itself: for 03, segment * 16 + offset.
    uint32_t Entry() const { return type == 0x03 ? (value >> 16) * 16 + (value & 0xFFFF) : value; }
};

enum class HexStatus : uint8_t { Whole, Damaged, OutOfMemory };

struct HexResult {
    HexStatus status = HexStatus::Whole;
    HexDamage damage = HexDamage::None;  // when Damaged
    uint64_t line = 0;                   // when Damaged: 1-based, CR LF, LF and CR each end one
    std::optional<StartAddress> start;   // the last start-address record, if any
    uint32_t address = 0;                // Conflict, BelowOrigin, TooWide, TooLong: the address
    bool endRecord = false;              // an end-of-file record ended the reading
    uint32_t origin = 0;                 // Whole: the address of the image's first byte
    uint32_t lowest = 0, highest = 0;    // Whole, with data: the lowest and highest address written
    bool anyData = false;                // Whole: some record placed a byte
};

// Converts the Intel HEX text held by `buffer` into a flat image starting at
// `origin` (unwritten bytes 0xFF). Ownership passes in and out: on return
// `buffer` holds the image when the result is Whole, and nothing otherwise;
// the text is gone.
//
// The first damaged record ends the conversion and the whole file is refused;
// so is a file with no record, a record hidden by blanks or without its ':',
// and, once every record is read, a byte given two different values (the
// later record's line) or data below the origin. Not damage: other lines
// that do not begin with ':' (ignored: Ctrl+Z, comments), spaces and tabs at
// the end of a line, a UTF-8 byte-order mark at the start, a missing end
// record (`endRecord` tells), anything after the first end record (ignored),
// identical repeats. A zero-length data record places nothing. Refused before
// the image is allocated: data reaching further from the origin than it
// allows, or exactly 4 GiB. OutOfMemory when the heap cannot supply the image.
//
// One pass over the text; the image is allocated once, at its final length,
// so memory peaks at text + image + a small constant. Never throws.
HexResult ParseIntelHex(std::vector<uint8_t>& buffer, ImageOrigin origin = {});
