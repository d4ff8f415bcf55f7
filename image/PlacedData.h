// The data records the HEX reader accepted, in file order, and the image they
// make. The reader packs them over the text it has already consumed (each
// packed record is shorter than its text), so the image can be allocated once
// at its exact final length: memory stays at text + image, with no growth.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Packed layout per record: 4-byte address (native order), count byte, data.
class PlacedData {
public:
    // `area` is the start of the text buffer. Appends write from there on, so
    // the caller must be done with the text that an Append covers; the reader
    // is, because every record's text is longer than its packed form.
    explicit PlacedData(uint8_t* buffer) : area(buffer) {}

    // `address` + `count` must not exceed 4 GiB; `count` is at least 1.
    void Append(uint32_t address, const uint8_t* data, uint8_t count);

    // Puts the flat image up to the highest end into `image`, 0xFF where no
    // record wrote. False, with `image` empty, when the heap cannot supply it
    // or its length does not fit in 32 bits.
    bool BuildImage(std::vector<uint8_t>& image) const;

private:
    uint8_t* area;
    size_t used = 0;
    uint64_t highestEnd = 0;
};
