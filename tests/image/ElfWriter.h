// Writes small ELF files for tests: a header, a segment table and each
// segment's bytes after it, in any class and byte order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct ElfSegment {
    uint64_t physical = 0;
    std::vector<uint8_t> bytes;  // its file bytes
    uint64_t extraMemory = 0;    // p_memsz beyond the file bytes
    uint32_t type = 1;           // PT_LOAD
};

struct ElfShape {
    bool wide = false;      // 64-bit
    bool big = false;       // big-endian
    uint16_t machine = 40;  // EM_ARM
    uint64_t entry = 0;
};

std::vector<uint8_t> WriteElf(const ElfShape& shape, const std::vector<ElfSegment>& segments);

// Where segment `index`'s table entry starts in a file WriteElf made.
size_t ElfSegmentEntry(const ElfShape& shape, size_t index);
