#include "tests/image/HexText.h"

#include <gtest/gtest.h>

#include <cstdio>

#include "image/IntelHex.h"

std::string RecordFromBytes(const std::vector<uint8_t>& bytes) {
    uint8_t sum = 0;
    for (uint8_t b : bytes) sum = uint8_t(sum + b);
    std::string line = ":";
    char pair[3];
    for (size_t i = 0; i <= bytes.size(); ++i) {
        std::snprintf(pair, sizeof pair, "%02X", i < bytes.size() ? bytes[i] : uint8_t(-sum));
        line += pair;
    }
    return line;
}

std::string HexRecord(uint8_t type, uint16_t offset, const std::vector<uint8_t>& data,
                      uint8_t checksumDelta) {
    std::vector<uint8_t> bytes = {uint8_t(data.size()), uint8_t(offset >> 8), uint8_t(offset),
                                  type};
    bytes.insert(bytes.end(), data.begin(), data.end());
    std::string line = RecordFromBytes(bytes);
    if (checksumDelta) {
        // Rewrite the checksum pair.
        const uint8_t wrong =
            uint8_t(std::stoi(line.substr(line.size() - 2), nullptr, 16) + checksumDelta);
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02X", wrong);
        line.replace(line.size() - 2, 2, pair);
    }
    return line;
}

std::string DataRecord(uint16_t offset, const std::vector<uint8_t>& data) {
    return HexRecord(0x00, offset, data);
}
std::string LinearAddress(uint16_t value) {
    return HexRecord(0x04, 0, {uint8_t(value >> 8), uint8_t(value)});
}
std::string SegmentAddress(uint16_t value) {
    return HexRecord(0x02, 0, {uint8_t(value >> 8), uint8_t(value)});
}

std::vector<uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

std::vector<uint8_t> ParseText(const std::string& text) {
    std::vector<uint8_t> buffer = Bytes(text);
    const HexResult result = ParseIntelHex(buffer);
    EXPECT_EQ(result.status, HexStatus::Whole)
        << HexDamageReason(result.damage) << " at line " << result.line;
    return buffer;
}

HexResult ParseOutcome(const std::string& text) {
    std::vector<uint8_t> buffer = Bytes(text);
    const HexResult result = ParseIntelHex(buffer);
    if (result.status != HexStatus::Whole) {
        EXPECT_TRUE(buffer.empty());
    }
    return result;
}

std::string SRecordLine(int type, uint32_t address, const std::vector<uint8_t>& data,
                        uint8_t checksumDelta) {
    static const int kAddressBytes[10] = {2, 2, 3, 4, 2, 2, 3, 4, 3, 2};
    std::vector<uint8_t> bytes = {uint8_t(kAddressBytes[type] + data.size() + 1)};
    for (int i = kAddressBytes[type] - 1; i >= 0; --i) bytes.push_back(uint8_t(address >> (8 * i)));
    bytes.insert(bytes.end(), data.begin(), data.end());
    uint8_t sum = 0;
    for (uint8_t b : bytes) sum = uint8_t(sum + b);
    bytes.push_back(uint8_t(~sum + checksumDelta));
    std::string line(1, 'S');
    line.push_back(char('0' + type));
    char pair[3];
    for (uint8_t b : bytes) {
        std::snprintf(pair, sizeof pair, "%02X", b);
        line += pair;
    }
    return line;
}
