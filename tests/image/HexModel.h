// The Intel HEX reader's rules written the slow, obvious way, with digit
// decoding of its own: one line at a time, a byte map, no packing. Tests and
// the fuzzer hold ParseIntelHex to it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/IntelHex.h"

struct ModelResult {
    HexResult result;
    std::vector<uint8_t> image;  // when Whole
};

// `heapLimit`: the longest image the heap is taken to supply.
ModelResult ModelParse(const std::string& text, uint64_t heapLimit = 0xFFFFFFFFull);

// Empty when the reader's result and image match the model's; otherwise what differs.
std::string CompareWithModel(const std::string& text, const HexResult& result,
                             const std::vector<uint8_t>& image, uint64_t heapLimit = 0xFFFFFFFFull);
