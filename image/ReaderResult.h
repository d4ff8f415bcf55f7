// What a firmware-file reader gives besides the image: the verdict, where the
// damage is, the entry address, the addresses written, what it left out.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class ReaderStatus : uint8_t { Whole, Damaged, OutOfMemory };

struct AddressRange {
    uint32_t low = 0;   // the lowest address written
    uint32_t high = 0;  // the highest address written
};

struct ReaderResult {
    ReaderStatus status = ReaderStatus::Whole;
    uint64_t line = 0;   // Damaged, text formats: the 1-based line; 0 when the reason says where
    std::string reason;  // Damaged: lower case, no line break
    std::optional<uint32_t> entry;      // where the program starts, when the file says
    std::optional<AddressRange> range;  // Whole: when some byte was written
    uint32_t origin = 0;                // Whole: the address of the image's first byte
    bool endRecord = true;              // text formats: false when the file has no end record
    std::vector<std::string> leftOut;   // what the image does not hold, one phrase each
    bool tooWide = false;               // Damaged: the data span more than the image may
};

class PlacedData;
struct ImageOrigin;

// Builds the image from `placed` into `image` and records the outcome in
// `result`: a conflict names the later piece by its line (`piecesAreLines`)
// or as "segment N: ...".
void BuildImageInto(const PlacedData& placed, ImageOrigin origin, std::vector<uint8_t>& image,
                    ReaderResult& result, bool piecesAreLines);
