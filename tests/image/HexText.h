// Helpers for writing Intel HEX and S-record text in tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/IntelHex.h"

// One record line without line end, with a correct checksum unless `checksumDelta`.
std::string HexRecord(uint8_t type, uint16_t offset, const std::vector<uint8_t>& data,
                      uint8_t checksumDelta = 0);
// ":" + the bytes + their checksum, whatever the bytes say about themselves.
std::string RecordFromBytes(const std::vector<uint8_t>& bytes);
std::string DataRecord(uint16_t offset, const std::vector<uint8_t>& data);
std::string LinearAddress(uint16_t value);   // type 04
std::string SegmentAddress(uint16_t value);  // type 02
inline const std::string kEndOfFile = ":00000001FF";

std::vector<uint8_t> Bytes(const std::string& text);

// One S-record line of `type` (0-9; an address as wide as the type says),
// with a correct checksum unless `checksumDelta`.
std::string SRecordLine(int type, uint32_t address, const std::vector<uint8_t>& data,
                        uint8_t checksumDelta = 0);

// Runs ParseIntelHex on `text`: the image, after checking that the text was whole.
std::vector<uint8_t> ParseText(const std::string& text);
// Runs ParseIntelHex on `text`: the outcome alone.
HexResult ParseOutcome(const std::string& text);
