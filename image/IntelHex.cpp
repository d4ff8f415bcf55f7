#include "image/IntelHex.h"

#include <cstring>
#include <utility>

#include "image/HexDigits.h"
#include "image/PlacedData.h"

using hexdigits::DecodePairs;
using hexdigits::IsLineEnd;
using hexdigits::PairValue;

namespace {

// 4 header bytes + 255 data bytes + checksum: the longest record there is.
constexpr size_t kRecordBytes = 260;
// Image lengths are 32-bit counts, so no byte may land at 0xFFFFFFFF or above.
constexpr uint64_t kLengthLimit = 0xFFFFFFFFull;

enum class Next { Go, Stop };

// The record rules: what each decoded token does to the base and the image.
class RecordRules {
public:
    explicit RecordRules(PlacedData& placed) : placed(placed) {}

    // One decoded token of `pairs` bytes whose sum modulo 256 is `sum`.
    Next Record(const uint8_t* record, size_t pairs, uint8_t sum) {
        if (sum != 0) return Next::Stop;
        const uint8_t count = record[0];
        // A record shorter or longer than its length byte says is as broken as
        // one with a bad checksum, and never gets data from outside its pairs.
        if (pairs != size_t(count) + 5) return Next::Stop;
        const uint32_t offset = uint32_t(record[1] << 8) | record[2];
        const uint8_t type = record[3];
        switch (type) {
            case 0x00: {
                const uint64_t address = uint64_t(base) + offset;
                if (address + count > kLengthLimit) return Next::Stop;
                placed.Append(uint32_t(address), record + 4, count);
                return Next::Go;
            }
            case 0x02:
            case 0x04:
                // The image is sized once all records are known rather than
                // enlarged here: the result is the same, and an address record
                // alone costs no memory.
                if (count == 2 && offset == 0) {
                    const uint32_t value = uint32_t(record[4] << 8) | record[5];
                    base = type == 0x02 ? value << 4 : value << 16;
                }
                return Next::Go;
            default:
                return Next::Stop;
        }
    }

private:
    PlacedData& placed;
    uint32_t base = 0;
};

// Converts the token [start, end) of `text`, which holds no line end.
Next ConvertToken(RecordRules& rules, const uint8_t* text, size_t start, size_t end) {
    if (text[start] != ':') return Next::Go;
    // An unpaired last character is ignored; the pair count decides.
    const size_t pairs = (end - start - 1) / 2;
    if (pairs == 0) return Next::Go;  // a bare colon carries nothing
    if (pairs > kRecordBytes) return Next::Stop;
    uint8_t record[kRecordBytes];
    uint8_t sum = 0;
    DecodePairs(text + start + 1, pairs, record, sum);
    return rules.Record(record, pairs, sum);
}

}  // namespace

uint32_t ParseIntelHex(std::vector<uint8_t>& buffer) {
    // The text is ours now: the accepted records are packed over its consumed
    // part, and it is released when this function returns.
    std::vector<uint8_t> text = std::move(buffer);
    buffer = {};
    uint8_t* t = text.data();
    const void* zero = t ? std::memchr(t, 0, text.size()) : nullptr;
    const size_t length = zero ? size_t(static_cast<const uint8_t*>(zero) - t) : text.size();

    PlacedData placed(t);
    RecordRules rules(placed);
    uint8_t record[kRecordBytes];
    size_t pos = 0;
    while (pos < length) {
        if (IsLineEnd(t[pos])) {
            ++pos;
            continue;
        }
        // Fast path: a record that ends exactly where its length byte says.
        if (t[pos] == ':' && pos + 3 <= length) {
            const size_t pairs = size_t(PairValue(t[pos + 1], t[pos + 2])) + 5;
            const size_t recordEnd = pos + 1 + 2 * pairs;
            uint8_t sum = 0;
            if (recordEnd <= length && (recordEnd == length || IsLineEnd(t[recordEnd])) &&
                DecodePairs(t + pos + 1, pairs, record, sum)) {
                if (rules.Record(record, pairs, sum) == Next::Stop) break;
                pos = recordEnd;
                continue;
            }
        }
        size_t end = pos;
        while (end < length && !IsLineEnd(t[end])) ++end;
        if (ConvertToken(rules, t, pos, end) == Next::Stop) break;
        pos = end;
    }
    buffer = placed.BuildImage();
    return uint32_t(buffer.size());
}
