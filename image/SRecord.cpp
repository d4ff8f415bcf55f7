#include "image/SRecord.h"

#include <utility>

#include "image/HexDigits.h"

using hexdigits::DecodePairs;
using hexdigits::IsHexDigit;
using hexdigits::IsLineEnd;
using hexdigits::PairValue;

namespace {

// The count byte, then up to 255 bytes of address, data and checksum.
constexpr size_t kRecordBytes = 256;

bool IsBlank(uint8_t c) {
    return c == ' ' || c == '\t';
}

bool IsRecordStart(const uint8_t* c, size_t length) {
    return length >= 2 && (c[0] == 'S' || c[0] == 's') && uint8_t(c[1] - '0') <= 9;
}

// Address bytes per record type; 0 for the type that does not exist.
constexpr uint8_t kAddressBytes[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};

class Reader {
public:
    explicit Reader(uint8_t* storage) : placed(storage) {}

    // The line [start, end) of the text; false once the reading ends.
    bool Line(const uint8_t* text, size_t start, size_t end) {
        while (end > start && IsBlank(text[end - 1])) --end;
        if (!IsRecordStart(text + start, end - start)) {
            // An 'S' begins a record: one whose type is lost must not vanish.
            if (end > start && (text[start] == 'S' || text[start] == 's')) {
                records = true;
                return Damage("record type is not a digit");
            }
            return OtherLine(text, start, end);
        }
        records = true;
        const uint8_t* digits = text + start + 2;
        const size_t count = end - start - 2;
        for (size_t i = 0; i < count; ++i)
            if (!IsHexDigit(digits[i])) return Damage("not a hex digit");
        if (count % 2) return Damage("odd number of digits");
        const size_t pairs = count / 2;
        if (pairs == 0 || pairs != size_t(PairValue(digits[0], digits[1])) + 1)
            return Damage("length byte does not match the record");
        uint8_t record[kRecordBytes];
        uint8_t sum = 0;
        DecodePairs(digits, pairs, record, sum);
        return Record(uint8_t(text[start + 1] - '0'), record, sum);
    }

    // A record of type `type` whose count, address, data and checksum bytes
    // are `record` (as many as the count byte says, plus one), summing to `sum`.
    bool Record(uint8_t type, const uint8_t* record, uint8_t sum) {
        records = true;
        if (sum != 0xFF) return Damage("checksum mismatch");
        const size_t addressBytes = kAddressBytes[type];
        if (addressBytes == 0) return Damage("unknown record type");
        if (record[0] < addressBytes + 1) return Damage("record too short for its address");
        uint32_t address = 0;
        for (size_t i = 1; i <= addressBytes; ++i) address = address << 8 | record[i];
        const size_t dataBytes = record[0] - addressBytes - 1;
        switch (type) {
            case 0:
                return true;
            case 1:
            case 2:
            case 3:
                ++dataRecords;
                counted = false;
                if (uint64_t(address) + dataBytes > (1ull << 32))
                    return Damage("data at or above 4 GiB");
                if (dataBytes > 0 &&
                    !placed.Append(address, record + 1 + addressBytes, uint32_t(dataBytes), line)) {
                    outOfMemory = true;
                    return false;
                }
                return true;
            case 5:
            case 6:
                if (dataBytes != 0) return Damage("bad count record");
                if (address != dataRecords) return Damage("record count does not match");
                counted = true;
                return true;
            default:  // 7, 8, 9
                if (dataBytes != 0) return Damage("bad termination record");
                entry = address;
                ended = true;
                return false;
        }
    }

    // Not a record, and ignored, unless it looks like one that lost its
    // place: hidden behind blanks, or a record's digits without the 'S'.
    bool OtherLine(const uint8_t* text, size_t start, size_t end) {
        size_t first = start;
        while (first < end && IsBlank(text[first])) ++first;
        if (first > start && IsRecordStart(text + first, end - first))
            return Damage("blank before 'S'");
        size_t digits = start;
        while (digits < end && IsHexDigit(text[digits])) ++digits;
        if (digits == end && end - start >= 10) return Damage("record without 'S'");
        return true;
    }

    bool Damage(const char* why) {
        reason = why;
        return false;
    }

    PlacedData placed;
    uint64_t line = 1;
    uint32_t dataRecords = 0;
    bool records = false;
    bool ended = false;
    bool counted = false;  // a matching S5/S6 follows the last data record
    bool outOfMemory = false;
    const char* reason = nullptr;
    std::optional<uint32_t> entry;
};

}  // namespace

ReaderResult ParseSRecord(std::vector<uint8_t>& buffer, ImageOrigin origin) {
    std::vector<uint8_t> text = std::move(buffer);
    buffer = {};
    const uint8_t* t = text.data();
    const size_t length = text.size();
    Reader reader(text.data());
    uint8_t record[kRecordBytes];
    size_t pos = length >= 3 && t[0] == 0xEF && t[1] == 0xBB && t[2] == 0xBF ? 3 : 0;
    bool go = true;
    while (pos < length && go) {
        const uint8_t c = t[pos];
        if (IsLineEnd(c)) {  // CR LF, LF and CR each end one line
            ++reader.line;
            ++pos;
            if (c == '\r' && pos < length && t[pos] == '\n') ++pos;
            continue;
        }
        // Fast path: a record of hex digits that ends exactly where its count
        // byte says, followed by a line end or the end of the text.
        if (pos + 4 <= length && IsRecordStart(t + pos, 2)) {
            const size_t pairs = size_t(PairValue(t[pos + 2], t[pos + 3])) + 1;
            const size_t recordEnd = pos + 2 + 2 * pairs;
            uint8_t sum = 0;
            if (recordEnd <= length && (recordEnd == length || IsLineEnd(t[recordEnd])) &&
                DecodePairs(t + pos + 2, pairs, record, sum)) {
                go = reader.Record(uint8_t(t[pos + 1] - '0'), record, sum);
                pos = recordEnd;
                continue;
            }
        }
        size_t end = pos;
        while (end < length && !IsLineEnd(t[end])) ++end;
        go = reader.Line(t, pos, end);
        pos = end;
    }

    ReaderResult result;
    result.entry = reader.entry;
    // Tools that know no entry address (srec_cat among them) end with the
    // count record: a file whose data all precede a matching count is whole.
    result.endRecord = reader.ended || reader.counted;
    if (reader.outOfMemory) {
        result.status = ReaderStatus::OutOfMemory;
    } else if (reader.reason || !reader.records) {
        result.status = ReaderStatus::Damaged;
        result.reason = reader.reason ? reader.reason : "no records";
        result.line = reader.reason ? reader.line : 1;
    } else {
        BuildImageInto(reader.placed, origin, buffer, result, true);
    }
    return result;
}
