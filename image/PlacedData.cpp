#include "image/PlacedData.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace {

constexpr size_t kHeader = 5;

}  // namespace

void PlacedData::Append(uint32_t address, const uint8_t* data, uint8_t count) {
    std::memcpy(area + used, &address, 4);
    area[used + 4] = count;
    std::memcpy(area + used + kHeader, data, count);
    used += kHeader + count;
    highestEnd = std::max(highestEnd, uint64_t(address) + count);
}

bool PlacedData::BuildImage(std::vector<uint8_t>& image) const {
    image = {};
    if (highestEnd > 0xFFFFFFFFull) return false;  // image lengths are 32-bit counts
    try {
        image.assign(size_t(highestEnd), 0xFF);
    } catch (const std::exception&) {  // bad_alloc, or length_error on a 32-bit system
        return false;
    }
    for (size_t pos = 0; pos < used;) {
        uint32_t address;
        std::memcpy(&address, area + pos, 4);
        const uint8_t count = area[pos + 4];
        std::memcpy(image.data() + address, area + pos + kHeader, count);
        pos += kHeader + count;
    }
    return true;
}
