// The bytes a firmware file places, in file order, and the flat image they
// make. Every reader hands its data here; the image is built once, at its
// exact final length, and this is where overlaps and the origin are judged.
//
// Text readers pack their records over the text they have already consumed
// (each packed record is shorter than its text), so memory stays at text +
// image. Binary readers refer to the file's bytes, which must outlive
// BuildImage.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// The widest image a file may make unless the caller allows more: far more
// than any microcontroller's flash, far less than a stray record far away
// would cost in memory.
constexpr uint64_t kDefaultMaxSpan = 256ull << 20;

// Where the image starts: a fixed address, or the lowest address written;
// and how many bytes it may reach from there.
struct ImageOrigin {
    bool lowest = false;
    uint32_t address = 0;  // when not `lowest`
    uint64_t maxSpan = kDefaultMaxSpan;
};

struct ImageBuild {
    // TooWide: the span from the origin to the highest address is over the
    // limit; TooLong: it is exactly 4 GiB, one byte more than a 32-bit length.
    enum Status : uint8_t { Ok, OutOfMemory, Conflict, BelowOrigin, TooWide, TooLong } status = Ok;
    uint32_t address = 0;  // Conflict: the first address given two values; BelowOrigin: the
                           // lowest; TooWide, TooLong: the highest address written
    uint64_t where = 0;    // Conflict: the later piece's line (or segment) as the reader gave it
    uint32_t origin = 0;   // the image's first address
};

class PlacedData {
public:
    // Packs into `storage` from its start; the caller must be done with the
    // bytes each Append covers. Without storage only Refer may be used.
    explicit PlacedData(uint8_t* storage = nullptr) : area(storage) {}

    // Copies `count` (at least 1) bytes for `address`; `address` + `count`
    // must not exceed 4 GiB. `where` names the piece if it is judged later.
    // False when the heap cannot hold the bookkeeping.
    bool Append(uint32_t address, const uint8_t* data, uint32_t count, uint64_t where);
    // The same for bytes that stay where they are until BuildImage.
    bool Refer(uint32_t address, const uint8_t* data, uint32_t count, uint64_t where);

    bool Empty() const { return highestEnd == 0; }
    uint32_t Lowest() const { return lowest; }          // when not Empty
    uint64_t HighestEnd() const { return highestEnd; }  // one past the highest address written

    // The flat image from the origin to the highest end, 0xFF where nothing
    // was written. Refused, with `image` empty and before any allocation: a
    // span over the origin's limit, or of 4 GiB. Refused after it: a byte
    // given two different values (identical repeats are fine), data below
    // the origin, an image longer than the heap can supply.
    ImageBuild BuildImage(ImageOrigin origin, std::vector<uint8_t>& image) const;

private:
    struct Piece {
        uint32_t address;
        uint32_t count;
        const uint8_t* data;
        uint64_t where;
        bool suspect;  // it began below the highest end already written
    };
    template <typename Visit>
    void ForEach(Visit&& visit) const;
    bool Note(uint32_t address, uint32_t count);

    uint8_t* area;
    size_t used = 0;
    std::vector<Piece> pieces;                          // Refer
    std::vector<std::pair<size_t, uint64_t>> suspects;  // Append: packed position, where
    uint32_t lowest = 0xFFFFFFFFu;
    uint64_t highestEnd = 0;
};

// "0x08000010 already holds another value", "data at 0x00000100 lies below
// the origin 0x08000000", "the data reach from 0x00000000 to 0xFFFFFF00
// (4 GiB): ...": the reason a refused build gives.
std::string ImageRefusal(const ImageBuild& build);
