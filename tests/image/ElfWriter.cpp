#include "tests/image/ElfWriter.h"

namespace {

class Out {
public:
    Out(std::vector<uint8_t>& bytes, bool big) : file(bytes), big(big) {}
    void Put(size_t at, uint64_t value, unsigned size) {
        if (file.size() < at + size) file.resize(at + size);
        for (unsigned i = 0; i < size; ++i)
            file[at + (big ? size - 1 - i : i)] = uint8_t(value >> (8 * i));
    }

private:
    std::vector<uint8_t>& file;
    bool big;
};

}  // namespace

size_t ElfSegmentEntry(const ElfShape& shape, size_t index) {
    return (shape.wide ? 64 : 52) + index * (shape.wide ? 56 : 32);
}

std::vector<uint8_t> WriteElf(const ElfShape& shape, const std::vector<ElfSegment>& segments) {
    std::vector<uint8_t> file = {
        0x7F, 'E', 'L', 'F', uint8_t(shape.wide ? 2 : 1), uint8_t(shape.big ? 2 : 1), 1};
    Out out(file, shape.big);
    const unsigned word = shape.wide ? 8 : 4;
    const bool w = shape.wide;
    out.Put(16, 2, 2);  // ET_EXEC
    out.Put(18, shape.machine, 2);
    out.Put(20, 1, 4);
    out.Put(24, shape.entry, word);
    out.Put(w ? 32 : 28, ElfSegmentEntry(shape, 0), word);
    out.Put(w ? 52 : 40, w ? 64 : 52, 2);
    out.Put(w ? 54 : 42, w ? 56 : 32, 2);
    out.Put(w ? 56 : 44, segments.size(), 2);
    size_t data = ElfSegmentEntry(shape, segments.size());
    for (size_t i = 0; i < segments.size(); ++i) {
        const ElfSegment& s = segments[i];
        const size_t at = ElfSegmentEntry(shape, i);
        out.Put(at, s.type, 4);
        out.Put(at + (w ? 8 : 4), data, word);
        out.Put(at + (w ? 16 : 8), s.physical, word);
        out.Put(at + (w ? 24 : 12), s.physical, word);
        out.Put(at + (w ? 32 : 16), s.bytes.size(), word);
        out.Put(at + (w ? 40 : 20), s.bytes.size() + s.extraMemory, word);
        file.resize(data);
        file.insert(file.end(), s.bytes.begin(), s.bytes.end());
        data = file.size();
    }
    return file;
}
