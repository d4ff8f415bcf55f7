#include "image/Elf.h"

#include <cstdio>
#include <string>
#include <utility>

namespace {

constexpr uint32_t kLoad = 1;                // PT_LOAD
constexpr uint16_t kAvr = 83;                // EM_AVR
constexpr uint16_t kExtendedCount = 0xFFFF;  // PN_XNUM: the count lives in section 0

// Reads fields of the file's byte order; every offset was checked against the size.
class Fields {
public:
    Fields(const std::vector<uint8_t>& file, bool bigEndian) : bytes(file.data()), big(bigEndian) {}

    uint64_t Get(uint64_t at, unsigned size) const {
        uint64_t value = 0;
        for (unsigned i = 0; i < size; ++i) {
            const uint64_t byte = bytes[at + (big ? i : size - 1 - i)];
            value = value << 8 | byte;
        }
        return value;
    }

private:
    const uint8_t* bytes;
    bool big;
};

// The name of the AVR memory an address of 0x800000 or above belongs to.
const char* AvrMemory(uint64_t address) {
    switch (address >> 16) {
        case 0x80:
            return "data memory";
        case 0x81:
            return "EEPROM";
        case 0x82:
            return "fuses";
        case 0x83:
            return "lock bits";
        case 0x84:
            return "signature";
        default:
            return "not program memory";
    }
}

std::string Segment(uint64_t index, const char* what) {
    return "segment " + std::to_string(index) + " " + what;
}

}  // namespace

ReaderResult ParseElf(std::vector<uint8_t>& buffer, ImageOrigin origin) {
    const std::vector<uint8_t> file = std::move(buffer);
    buffer = {};
    ReaderResult result;
    const auto refuse = [&](std::string why) {
        result.status = ReaderStatus::Damaged;
        result.reason = std::move(why);
        return result;
    };
    const uint64_t size = file.size();
    if (size < 16 || file[0] != 0x7F || file[1] != 'E' || file[2] != 'L' || file[3] != 'F')
        return refuse("not an ELF file");
    const bool wide = file[4] == 2;
    if (file[4] != 1 && !wide) return refuse("unknown ELF class");
    if (file[5] != 1 && file[5] != 2) return refuse("unknown ELF byte order");
    const Fields f(file, file[5] == 2);
    const unsigned word = wide ? 8 : 4;
    if (size < (wide ? 64u : 52u)) return refuse("file too short for its ELF header");

    const auto machine = uint16_t(f.Get(18, 2));
    const uint64_t entry = f.Get(24, word);
    const uint64_t tableAt = f.Get(wide ? 32 : 28, word);
    const uint64_t entrySize = f.Get(wide ? 54 : 42, 2);
    const uint64_t count = f.Get(wide ? 56 : 44, 2);
    if (entry <= 0xFFFFFFFFu) result.entry = uint32_t(entry);
    if (count == kExtendedCount) return refuse("too many segments");
    if (count > 0 && entrySize < (wide ? 56u : 32u)) return refuse("bad segment table entry size");
    if (tableAt > size || count * entrySize > size - tableAt)
        return refuse("segment table runs past the end of the file");

    PlacedData placed;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t at = tableAt + i * entrySize;
        if (f.Get(at, 4) != kLoad) continue;
        const uint64_t offset = f.Get(at + (wide ? 8 : 4), word);
        const uint64_t physical = f.Get(at + (wide ? 24 : 12), word);
        const uint64_t fileBytes = f.Get(at + (wide ? 32 : 16), word);
        const uint64_t memoryBytes = f.Get(at + (wide ? 40 : 20), word);
        if (fileBytes == 0) continue;
        if (offset > size || fileBytes > size - offset)
            return refuse(Segment(i, "runs past the end of the file"));
        if (fileBytes > memoryBytes)
            return refuse(Segment(i, "has more file bytes than memory bytes"));
        if (machine == kAvr && physical >= 0x800000) {
            char text[96];
            std::snprintf(text, sizeof text, "segment %llu: %llu byte%s at 0x%08llX (%s)",
                          static_cast<unsigned long long>(i),
                          static_cast<unsigned long long>(fileBytes), fileBytes == 1 ? "" : "s",
                          static_cast<unsigned long long>(physical), AvrMemory(physical));
            result.leftOut.emplace_back(text);
            continue;
        }
        if (physical > 0xFFFFFFFFu || fileBytes > 0xFFFFFFFFu ||
            physical + fileBytes > (1ull << 32))
            return refuse(Segment(i, "lies at or above 4 GiB"));
        if (!placed.Refer(uint32_t(physical), file.data() + offset, uint32_t(fileBytes), i)) {
            result.status = ReaderStatus::OutOfMemory;
            return result;
        }
    }
    if (placed.Empty()) return refuse("no loadable bytes");
    BuildImageInto(placed, origin, buffer, result, false);
    return result;
}
