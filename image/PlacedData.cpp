#include "image/PlacedData.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace {

constexpr size_t kHeader = 5;

// Calls visit(address, data, count) for each packed record until it returns false.
template <typename Visit>
void ForEachRecord(const uint8_t* area, size_t used, Visit visit) {
    for (size_t pos = 0; pos < used;) {
        uint32_t address;
        std::memcpy(&address, area + pos, 4);
        const uint8_t count = area[pos + 4];
        if (!visit(address, area + pos + kHeader, count)) return;
        pos += kHeader + count;
    }
}

bool CanAllocate(size_t length) {
    try {
        std::vector<uint8_t> probe;
        probe.reserve(length);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

}  // namespace

void PlacedData::Append(uint32_t address, const uint8_t* data, uint8_t count) {
    std::memcpy(area + used, &address, 4);
    area[used + 4] = count;
    std::memcpy(area + used + kHeader, data, count);
    used += kHeader + count;
    highestEnd = std::max(highestEnd, uint32_t(address + count));
}

// The image length of the records before the first one ending past `limit`.
uint32_t PlacedData::LengthBefore(uint64_t limit) const {
    uint32_t length = 0;
    ForEachRecord(area, used, [&](uint32_t address, const uint8_t*, uint8_t count) {
        const uint64_t end = uint64_t(address) + count;
        if (end > limit) return false;
        length = std::max(length, uint32_t(end));
        return true;
    });
    return length;
}

// Binary search over lengths for the longest prefix of records whose image
// the heap can supply. Only reached when the whole image could not be had.
uint32_t PlacedData::AffordableLength() const {
    uint64_t affordable = 0;  // a prefix length known to fit (the empty image)
    uint64_t low = 0;         // no prefix length lies in (affordable, low]
    uint64_t failed = highestEnd;
    while (low + 1 < failed) {
        const uint64_t middle = low + (failed - low) / 2;
        const uint32_t length = LengthBefore(middle);
        if (length <= affordable) {
            low = middle;
        } else if (CanAllocate(length)) {
            affordable = low = length;
        } else {
            failed = length;
        }
    }
    return uint32_t(affordable);
}

std::vector<uint8_t> PlacedData::BuildImage() const {
    std::vector<uint8_t> image;
    try {
        image.assign(highestEnd, 0xFF);
    } catch (const std::exception&) {
        try {
            image.assign(AffordableLength(), 0xFF);
        } catch (const std::exception&) {
            image = {};  // the heap changed its mind: an empty image is still an image
        }
    }
    const uint64_t length = image.size();
    ForEachRecord(area, used, [&](uint32_t address, const uint8_t* data, uint8_t count) {
        if (uint64_t(address) + count > length) return false;
        std::memcpy(image.data() + address, data, count);
        return true;
    });
    return image;
}
