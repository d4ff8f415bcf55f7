#include "image/PlacedData.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "image/LargeBlock.h"

namespace {

constexpr size_t kHeader = 8;  // packed: 4-byte address, 4-byte count (native order), data

}  // namespace

bool PlacedData::Note(uint32_t address, uint32_t count) {
    const bool suspect = address < highestEnd;
    if (address < lowest) lowest = address;
    if (uint64_t(address) + count > highestEnd) highestEnd = uint64_t(address) + count;
    return suspect;
}

bool PlacedData::Append(uint32_t address, const uint8_t* data, uint32_t count, uint64_t where) {
    if (Note(address, count)) {
        try {
            suspects.emplace_back(used, where);
        } catch (const std::exception&) {
            return false;
        }
    }
    std::memcpy(area + used, &address, 4);
    std::memcpy(area + used + 4, &count, 4);
    std::memmove(area + used + kHeader, data, count);
    used += kHeader + count;
    return true;
}

bool PlacedData::Refer(uint32_t address, const uint8_t* data, uint32_t count, uint64_t where) {
    const bool suspect = Note(address, count);
    try {
        pieces.push_back(Piece{address, count, data, where, suspect});
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

// Calls visit(piece) for every piece in the order it was placed, until visit returns false.
template <typename Visit>
void PlacedData::ForEach(Visit&& visit) const {
    size_t next = 0;
    for (size_t pos = 0; pos < used;) {
        Piece piece{0, 0, area + pos + kHeader, 0, false};
        std::memcpy(&piece.address, area + pos, 4);
        std::memcpy(&piece.count, area + pos + 4, 4);
        if (next < suspects.size() && suspects[next].first == pos) {
            piece.suspect = true;
            piece.where = suspects[next++].second;
        }
        if (!visit(piece)) return;
        pos += kHeader + piece.count;
    }
    for (const Piece& piece : pieces)
        if (!visit(piece)) return;
}

ImageBuild PlacedData::BuildImage(ImageOrigin origin, std::vector<uint8_t>& image) const {
    image = {};
    ImageBuild build;
    build.origin = origin.lowest ? (Empty() ? 0 : lowest) : origin.address;
    if (Empty()) return build;
    if (lowest < build.origin) {
        build.status = ImageBuild::BelowOrigin;
        build.address = lowest;
        return build;
    }
    const uint64_t length = highestEnd - build.origin;
    if (length > 0xFFFFFFFFull || length > origin.maxSpan) {
        build.status = length > 0xFFFFFFFFull ? ImageBuild::TooLong : ImageBuild::TooWide;
        build.address = uint32_t(highestEnd - 1);
        return build;
    }
    const bool overlaps =
        !suspects.empty() ||
        std::any_of(pieces.begin(), pieces.end(), [](const Piece& p) { return p.suspect; });
    // Which bytes hold a value: needed only when some piece began below the
    // highest end before it, which files without overlaps never do.
    std::vector<uint8_t> written;
    try {
        ReserveLarge(image, size_t(length));
        image.assign(size_t(length), 0xFF);
        if (overlaps) written.assign(size_t((length + 7) / 8), 0);
    } catch (const std::exception&) {  // bad_alloc, or length_error on a 32-bit system
        image = {};
        build.status = ImageBuild::OutOfMemory;
        return build;
    }
    ForEach([&](const Piece& piece) {
        const size_t at = piece.address - build.origin;
        if (piece.suspect) {
            for (size_t i = 0; i < piece.count; ++i) {
                const size_t a = at + i;
                if ((written[a / 8] >> (a % 8) & 1) && image[a] != piece.data[i]) {
                    build.status = ImageBuild::Conflict;
                    build.address = uint32_t(piece.address + i);
                    build.where = piece.where;
                    return false;
                }
            }
        }
        std::memcpy(image.data() + at, piece.data, piece.count);
        if (overlaps)
            for (size_t a = at; a < at + piece.count; ++a) written[a / 8] |= uint8_t(1u << (a % 8));
        return true;
    });
    if (build.status != ImageBuild::Ok) image = {};
    return build;
}

namespace {

// "4 GiB", "300 MiB", "12.5 KiB", "100 bytes": a span for a reader.
std::string SpanSize(uint64_t bytes) {
    const char* const units[] = {"bytes", "KiB", "MiB", "GiB"};
    double value = double(bytes);
    int unit = 0;
    while (unit < 3 && value >= 1024) value /= 1024, ++unit;
    char text[24];
    std::snprintf(text, sizeof text, "%.3g %s", value, units[unit]);
    return text;
}

}  // namespace

std::string ImageRefusal(const ImageBuild& build) {
    if (build.status == ImageBuild::TooWide || build.status == ImageBuild::TooLong) {
        char ends[64];
        std::snprintf(ends, sizeof ends, "the data reach from 0x%08X to 0x%08X",
                      unsigned(build.origin), unsigned(build.address));
        if (build.status == ImageBuild::TooLong)
            return std::string(ends) + ": 4 GiB, one byte more than an image can hold";
        return std::string(ends) + " (" + SpanSize(uint64_t(build.address) - build.origin + 1) +
               "): a stray record, or an image that needs --origin?";
    }
    char text[80] = "";
    if (build.status == ImageBuild::Conflict)
        std::snprintf(text, sizeof text, "0x%08X already holds another value",
                      unsigned(build.address));
    if (build.status == ImageBuild::BelowOrigin)
        std::snprintf(text, sizeof text, "data at 0x%08X lies below the origin 0x%08X",
                      unsigned(build.address), unsigned(build.origin));
    return text;
}
