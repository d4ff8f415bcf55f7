#include "tests/image/ReaderModel.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <sstream>

namespace {

// Bytes placed in order; the first one given a second, different value.
struct ByteMap {
    std::map<uint64_t, uint8_t> bytes;
    bool conflict = false;
    uint64_t conflictAddress = 0;
    uint64_t conflictWhere = 0;

    void Place(uint64_t address, uint8_t value, uint64_t where) {
        const auto [at, fresh] = bytes.emplace(address, value);
        if (!fresh && at->second != value && !conflict) {
            conflict = true;
            conflictAddress = address;
            conflictWhere = where;
        }
        at->second = value;
    }

    // The image and the result's range, origin or refusal.
    void Build(ImageOrigin origin, uint64_t heapLimit, bool whereIsLine, ReaderModel& out) const {
        ReaderResult& r = out.result;
        if (bytes.empty()) return;
        const uint64_t low = bytes.begin()->first;
        const uint64_t high = bytes.rbegin()->first;
        const uint64_t start = origin.lowest ? low : origin.address;
        char text[96];
        if (low < start) {
            r.status = ReaderStatus::Damaged;
            std::snprintf(text, sizeof text, "data at 0x%08X lies below the origin 0x%08X",
                          unsigned(low), unsigned(start));
            r.reason = text;
            return;
        }
        const uint64_t span = high + 1 - start;
        if (span > 0xFFFFFFFFull || span > origin.maxSpan) {
            r.status = ReaderStatus::Damaged;
            r.tooWide = true;
            std::snprintf(text, sizeof text, "the data reach from 0x%08X to 0x%08X",
                          unsigned(start), unsigned(high));
            r.reason = text;
            if (span > 0xFFFFFFFFull) {
                r.reason += ": 4 GiB, one byte more than an image can hold";
                return;
            }
            const char* unit = span >= 1u << 30 ? "GiB" : span >= 1u << 20 ? "MiB" : "KiB";
            const double scale = span >= 1u << 30 ? 0x1p30 : span >= 1u << 20 ? 0x1p20 : 0x1p10;
            std::snprintf(text, sizeof text, " (%.3g %s)", double(span) / scale, unit);
            r.reason += std::string(text) + ": a stray record, or an image that needs --origin?";
            return;
        }
        if (span > heapLimit) {
            r.status = ReaderStatus::OutOfMemory;
            return;
        }
        if (conflict) {
            r.status = ReaderStatus::Damaged;
            std::snprintf(text, sizeof text, "0x%08X already holds another value",
                          unsigned(conflictAddress));
            r.reason = text;
            if (whereIsLine)
                r.line = conflictWhere;
            else
                r.reason = "segment " + std::to_string(conflictWhere) + ": " + r.reason;
            return;
        }
        r.origin = uint32_t(start);
        r.range = AddressRange{uint32_t(low), uint32_t(high)};
        out.image.assign(high + 1 - start, 0xFF);
        for (const auto& [address, value] : bytes) out.image[address - start] = value;
    }
};

int Digit(char c) {
    const std::string digits = "0123456789abcdef";
    const size_t at = digits.find(char(std::tolower(static_cast<unsigned char>(c))));
    return c == '\0' || at == std::string::npos ? -1 : int(at);
}

bool AllDigits(const std::string& s) {
    return std::all_of(s.begin(), s.end(), [](char c) { return Digit(c) >= 0; });
}

bool IsRecordStart(const std::string& s) {
    return s.size() >= 2 && (s[0] == 'S' || s[0] == 's') && s[1] >= '0' && s[1] <= '9';
}

// A refusal, or an empty text when the line is fine; `done` when it ends the reading.
std::string SRecordLine(std::string line, uint64_t number, int& dataRecords, bool& records,
                        ByteMap& map, ReaderModel& out, bool& done) {
    while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
    if (!IsRecordStart(line)) {
        if (!line.empty() && (line[0] == 'S' || line[0] == 's')) {
            records = true;
            return "record type is not a digit";
        }
        const size_t first = line.find_first_not_of(" \t");
        if (first != std::string::npos && first > 0 && IsRecordStart(line.substr(first)))
            return "blank before 'S'";
        if (line.size() >= 10 && AllDigits(line)) return "record without 'S'";
        return "";
    }
    records = true;
    const int type = line[1] - '0';
    const std::string digits = line.substr(2);
    if (!AllDigits(digits)) return "not a hex digit";
    if (digits.size() % 2) return "odd number of digits";
    std::vector<int> bytes;
    for (size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(Digit(digits[i]) * 16 + Digit(digits[i + 1]));
    if (bytes.empty() || int(bytes.size()) != bytes[0] + 1)
        return "length byte does not match the record";
    int sum = 0;
    for (int b : bytes) sum += b;
    if (sum % 256 != 255) return "checksum mismatch";
    const int widths[10] = {2, 2, 3, 4, 0, 2, 3, 4, 3, 2};
    const int width = widths[type];
    if (width == 0) return "unknown record type";
    if (bytes[0] < width + 1) return "record too short for its address";
    uint64_t address = 0;
    for (int i = 1; i <= width; ++i) address = address * 256 + uint64_t(bytes[i]);
    const int data = bytes[0] - width - 1;
    if (type >= 1 && type <= 3) {
        ++dataRecords;
        out.result.endRecord = false;  // data after a count: the count no longer ends the file
        if (address + uint64_t(data) > 0x100000000ull) return "data at or above 4 GiB";
        for (int i = 0; i < data; ++i)
            map.Place(address + uint64_t(i), uint8_t(bytes[1 + width + i]), number);
    } else if (type == 5 || type == 6) {
        if (data != 0) return "bad count record";
        if (address != uint64_t(dataRecords)) return "record count does not match";
        out.result.endRecord = true;  // every data record so far is counted
    } else if (type >= 7) {
        if (data != 0) return "bad termination record";
        out.result.entry = uint32_t(address);
        out.result.endRecord = true;
        done = true;
    }
    return "";
}

uint64_t Field(const std::vector<uint8_t>& file, uint64_t at, int size, bool big) {
    uint64_t value = 0;
    for (int i = 0; i < size; ++i) {
        const int index = big ? i : size - 1 - i;
        value = value * 256 + file[at + uint64_t(index)];
    }
    return value;
}

}  // namespace

ReaderModel ModelSRecord(const std::string& text, ImageOrigin origin, uint64_t heapLimit) {
    ReaderModel out;
    out.result.endRecord = false;
    ByteMap map;
    int dataRecords = 0;
    bool records = false;
    bool done = false;
    uint64_t number = 1;
    size_t i = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    while (i < text.size() && !done) {
        size_t j = i;
        while (j < text.size() && text[j] != '\r' && text[j] != '\n') ++j;
        const std::string why =
            SRecordLine(text.substr(i, j - i), number, dataRecords, records, map, out, done);
        if (!why.empty()) {
            out.result.status = ReaderStatus::Damaged;
            out.result.reason = why;
            out.result.line = number;
            return out;
        }
        if (j == text.size()) break;
        i = (text[j] == '\r' && j + 1 < text.size() && text[j + 1] == '\n') ? j + 2 : j + 1;
        ++number;
    }
    if (!records) {
        out.result.status = ReaderStatus::Damaged;
        out.result.reason = "no records";
        out.result.line = 1;
        return out;
    }
    map.Build(origin, heapLimit, true, out);
    return out;
}

ReaderModel ModelElf(const std::vector<uint8_t>& file, ImageOrigin origin, uint64_t heapLimit) {
    ReaderModel out;
    ReaderResult& r = out.result;
    const auto refuse = [&](const std::string& why) {
        r.status = ReaderStatus::Damaged;
        r.reason = why;
        return out;
    };
    const std::vector<uint8_t> magic = {0x7F, 'E', 'L', 'F'};
    if (file.size() < 16 || !std::equal(magic.begin(), magic.end(), file.begin()))
        return refuse("not an ELF file");
    if (file[4] != 1 && file[4] != 2) return refuse("unknown ELF class");
    if (file[5] != 1 && file[5] != 2) return refuse("unknown ELF byte order");
    const bool wide = file[4] == 2;
    const bool big = file[5] == 2;
    const int word = wide ? 8 : 4;
    if (file.size() < (wide ? 64u : 52u)) return refuse("file too short for its ELF header");
    const uint64_t machine = Field(file, 18, 2, big);
    const uint64_t entry = Field(file, 24, word, big);
    const uint64_t table = Field(file, wide ? 32 : 28, word, big);
    const uint64_t entrySize = Field(file, wide ? 54 : 42, 2, big);
    const uint64_t count = Field(file, wide ? 56 : 44, 2, big);
    if (entry < 0x100000000ull) r.entry = uint32_t(entry);
    if (count == 0xFFFF) return refuse("too many segments");
    if (count > 0 && entrySize < (wide ? 56u : 32u)) return refuse("bad segment table entry size");
    if (table > file.size() || table + count * entrySize > file.size())
        return refuse("segment table runs past the end of the file");
    struct Load {
        uint64_t physical, offset, size, index;
    };
    std::vector<Load> loads;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t at = table + i * entrySize;
        if (Field(file, at, 4, big) != 1) continue;
        const uint64_t offset = Field(file, at + (wide ? 8 : 4), word, big);
        const uint64_t physical = Field(file, at + (wide ? 24 : 12), word, big);
        const uint64_t size = Field(file, at + (wide ? 32 : 16), word, big);
        const uint64_t memory = Field(file, at + (wide ? 40 : 20), word, big);
        const std::string segment = "segment " + std::to_string(i);
        if (size == 0) continue;
        if (offset > file.size() || size > file.size() - offset)
            return refuse(segment + " runs past the end of the file");
        if (size > memory) return refuse(segment + " has more file bytes than memory bytes");
        if (machine == 83 && physical >= 0x800000) {
            r.leftOut.push_back(segment);
            continue;
        }
        if (physical >= 0x100000000ull || size >= 0x100000000ull ||
            physical + size > 0x100000000ull)
            return refuse(segment + " lies at or above 4 GiB");
        loads.push_back({physical, offset, size, i});
    }
    if (loads.empty()) return refuse("no loadable bytes");
    ByteMap map;
    for (const Load& load : loads)
        for (uint64_t k = 0; k < load.size; ++k)
            map.Place(load.physical + k, file[load.offset + k], load.index);
    map.Build(origin, heapLimit, false, out);
    return out;
}

std::string CompareWithModel(const ReaderModel& model, const ReaderResult& result,
                             const std::vector<uint8_t>& image) {
    const ReaderResult& want = model.result;
    std::ostringstream diff;
    if (result.status != want.status)
        diff << "status " << int(result.status) << ", model " << int(want.status) << "; ";
    if (result.reason != want.reason || result.line != want.line)
        diff << "\"" << result.reason << "\" at line " << result.line << ", model \"" << want.reason
             << "\" at line " << want.line << "; ";
    if (result.entry != want.entry || result.endRecord != want.endRecord)
        diff << "entry or end record differs; ";
    if (result.status == ReaderStatus::Whole &&
        (result.origin != want.origin || result.range.has_value() != want.range.has_value() ||
         (want.range &&
          (result.range->low != want.range->low || result.range->high != want.range->high))))
        diff << "origin or range differs; ";
    if (result.leftOut.size() != want.leftOut.size()) diff << "left out differs; ";
    if (image != model.image)
        diff << "image of " << image.size() << " bytes, model " << model.image.size() << "; ";
    return diff.str();
}
