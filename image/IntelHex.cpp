#include "image/IntelHex.h"

#include <utility>

#include "image/HexDigits.h"
#include "image/PlacedData.h"

using hexdigits::DecodePairs;
using hexdigits::IsHexDigit;
using hexdigits::IsLineEnd;
using hexdigits::PairValue;

namespace {

// 4 header bytes + 255 data bytes + checksum: the longest record there is.
constexpr size_t kRecordBytes = 260;
constexpr uint64_t k4GiB = 1ull << 32;

enum class Next { Go, End, Damaged, OutOfMemory };

// The record rules: what each well-formed record does to the base and the image.
class RecordRules {
public:
    explicit RecordRules(PlacedData& target) : placed(target) {}

    // One record of `count` + 5 decoded bytes whose sum modulo 256 is `sum`.
    Next Record(const uint8_t* record, uint8_t sum) {
        if (sum != 0) return Damage(HexDamage::Checksum);
        const uint8_t count = record[0];
        const uint32_t offset = uint32_t(record[1] << 8) | record[2];
        const uint8_t type = record[3];
        switch (type) {
            case 0x00: {
                const uint64_t address = uint64_t(base) + offset;
                if (address + count > k4GiB) return Damage(HexDamage::Beyond4GiB);
                if (count > 0 && !placed.Append(uint32_t(address), record + 4, count, line))
                    return Next::OutOfMemory;
                return Next::Go;
            }
            case 0x01:
                if (count != 0) return Damage(HexDamage::EndRecord);
                endRecord = true;
                return Next::End;
            case 0x02:
            case 0x04: {
                if (count != 2 || offset != 0) return Damage(HexDamage::AddressRecord);
                // The image is sized once all records are known rather than
                // enlarged here: an address record alone costs no memory.
                const uint32_t value = uint32_t(record[4] << 8) | record[5];
                base = type == 0x02 ? value << 4 : value << 16;
                return Next::Go;
            }
            case 0x03:
            case 0x05:
                if (count != 4 || offset != 0) return Damage(HexDamage::StartRecord);
                start = StartAddress{type, uint32_t(record[4]) << 24 | uint32_t(record[5]) << 16 |
                                               uint32_t(record[6]) << 8 | record[7]};
                return Next::Go;
            default:
                return Damage(HexDamage::UnknownType);
        }
    }

    Next Damage(HexDamage kind) {
        damage = kind;
        return Next::Damaged;
    }

    HexDamage damage = HexDamage::None;
    std::optional<StartAddress> start;
    uint64_t line = 1;
    bool endRecord = false;

private:
    PlacedData& placed;
    uint32_t base = 0;
};

// The careful path for the line [start, end) of `text` that the fast path
// did not take: it finds out which damage, if any, the line holds.
Next ConvertLine(RecordRules& rules, const uint8_t* text, size_t start, size_t end, bool& records) {
    while (end > start + 1 && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    if (text[start] != ':') {
        // Not a record, and ignored, unless it looks like one that lost its
        // place: hidden behind blanks, or a record's digits without the ':'.
        size_t first = start;
        while (first < end && (text[first] == ' ' || text[first] == '\t')) ++first;
        if (first > start && first < end && text[first] == ':')
            return rules.Damage(HexDamage::BlankBeforeColon);
        size_t digits = start;
        while (digits < end && IsHexDigit(text[digits])) ++digits;
        if (digits == end && end - start >= 10) return rules.Damage(HexDamage::WithoutColon);
        return Next::Go;
    }
    records = true;
    const uint8_t* digits = text + start + 1;
    const size_t count = end - start - 1;
    for (size_t i = 0; i < count; ++i) {
        if (!IsHexDigit(digits[i])) return rules.Damage(HexDamage::NotHexDigit);
    }
    if (count % 2) return rules.Damage(HexDamage::OddDigits);
    const size_t pairs = count / 2;
    if (pairs == 0 || pairs != size_t(PairValue(digits[0], digits[1])) + 5)
        return rules.Damage(HexDamage::LengthMismatch);
    uint8_t record[kRecordBytes];
    uint8_t sum = 0;
    DecodePairs(digits, pairs, record, sum);
    return rules.Record(record, sum);
}

bool StartsWithByteOrderMark(const std::vector<uint8_t>& text) {
    return text.size() >= 3 && text[0] == 0xEF && text[1] == 0xBB && text[2] == 0xBF;
}

}  // namespace

const char* HexDamageReason(HexDamage damage) {
    switch (damage) {
        case HexDamage::None:
            break;
        case HexDamage::Checksum:
            return "checksum mismatch";
        case HexDamage::NotHexDigit:
            return "not a hex digit";
        case HexDamage::OddDigits:
            return "odd number of digits";
        case HexDamage::LengthMismatch:
            return "length byte does not match the record";
        case HexDamage::AddressRecord:
            return "bad extended address record";
        case HexDamage::StartRecord:
            return "bad start address record";
        case HexDamage::UnknownType:
            return "unknown record type";
        case HexDamage::Beyond4GiB:
            return "data at or above 4 GiB";
        case HexDamage::NoRecords:
            return "no records";
        case HexDamage::BlankBeforeColon:
            return "blank before ':'";
        case HexDamage::WithoutColon:
            return "record without ':'";
        case HexDamage::EndRecord:
            return "bad end-of-file record";
        case HexDamage::Conflict:
            return "already holds another value";
        case HexDamage::BelowOrigin:
            return "data below the origin";
        case HexDamage::TooWide:
            return "data too far apart";
        case HexDamage::TooLong:
            return "data span 4 GiB";
    }
    return "";
}

HexResult ParseIntelHex(std::vector<uint8_t>& buffer, ImageOrigin origin) {
    // The text is ours now: the accepted records are packed over its consumed
    // part, and it is released when this function returns.
    std::vector<uint8_t> text = std::move(buffer);
    buffer = {};
    uint8_t* t = text.data();
    const size_t length = text.size();

    PlacedData placed(t);
    RecordRules rules(placed);
    uint8_t record[kRecordBytes];
    uint64_t& line = rules.line;
    bool records = false;
    size_t pos = StartsWithByteOrderMark(text) ? 3 : 0;
    Next next = Next::Go;
    while (pos < length && next == Next::Go) {
        const uint8_t c = t[pos];
        if (c == '\n') {
            ++line;
            ++pos;
            continue;
        }
        if (c == '\r') {
            ++line;
            ++pos;
            if (pos < length && t[pos] == '\n') ++pos;
            continue;
        }
        // Fast path: a record of hex digits that ends exactly where its length
        // byte says, followed by a line end or the end of the text.
        if (c == ':' && pos + 3 <= length) {
            const size_t pairs = size_t(PairValue(t[pos + 1], t[pos + 2])) + 5;
            const size_t recordEnd = pos + 1 + 2 * pairs;
            uint8_t sum = 0;
            if (recordEnd <= length && (recordEnd == length || IsLineEnd(t[recordEnd])) &&
                DecodePairs(t + pos + 1, pairs, record, sum)) {
                records = true;
                next = rules.Record(record, sum);
                pos = recordEnd;
                continue;
            }
        }
        size_t end = pos;
        while (end < length && !IsLineEnd(t[end])) ++end;
        next = ConvertLine(rules, t, pos, end, records);
        pos = end;
    }

    if (next != Next::Damaged && next != Next::OutOfMemory && !records) {
        rules.Damage(HexDamage::NoRecords);
        next = Next::Damaged;
        line = 1;
    }
    HexResult result;
    result.start = rules.start;
    result.endRecord = rules.endRecord;
    if (next == Next::OutOfMemory) {
        result.status = HexStatus::OutOfMemory;
        return result;
    }
    if (next == Next::Damaged) {
        result.status = HexStatus::Damaged;
        result.damage = rules.damage;
        result.line = line;
        return result;
    }
    const ImageBuild build = placed.BuildImage(origin, buffer);
    result.origin = build.origin;
    result.address = build.address;
    switch (build.status) {
        case ImageBuild::Ok:
            result.anyData = !placed.Empty();
            if (result.anyData) {
                result.lowest = placed.Lowest();
                result.highest = uint32_t(placed.HighestEnd() - 1);
            }
            break;
        case ImageBuild::OutOfMemory:
            result.status = HexStatus::OutOfMemory;
            break;
        case ImageBuild::Conflict:
            result.status = HexStatus::Damaged;
            result.damage = HexDamage::Conflict;
            result.line = build.where;
            break;
        case ImageBuild::BelowOrigin:
        case ImageBuild::TooWide:
        case ImageBuild::TooLong:
            result.status = HexStatus::Damaged;
            result.damage = build.status == ImageBuild::BelowOrigin ? HexDamage::BelowOrigin
                            : build.status == ImageBuild::TooWide   ? HexDamage::TooWide
                                                                    : HexDamage::TooLong;
            break;
    }
    return result;
}
