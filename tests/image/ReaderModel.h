// The S-record and ELF readers' rules written the slow, obvious way: lines
// split into strings, fields read one byte at a time, a byte map for the
// image. The fuzz harnesses hold ParseSRecord and ParseElf to them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/PlacedData.h"
#include "image/ReaderResult.h"

struct ReaderModel {
    ReaderResult result;
    std::vector<uint8_t> image;  // when Whole
};

ReaderModel ModelSRecord(const std::string& text, ImageOrigin origin, uint64_t heapLimit);
ReaderModel ModelElf(const std::vector<uint8_t>& file, ImageOrigin origin, uint64_t heapLimit);

// Empty when the reader's result and image match the model's; otherwise what differs.
std::string CompareWithModel(const ReaderModel& model, const ReaderResult& result,
                             const std::vector<uint8_t>& image);
