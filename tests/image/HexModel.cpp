#include "tests/image/HexModel.h"

#include <algorithm>
#include <map>
#include <sstream>

namespace {

// -1 for anything that is not a hex digit.
int DigitOf(char c) {
    const std::string digits = "0123456789ABCDEF";
    const char upper = (c >= 'a' && c <= 'f') ? char(c - 'a' + 'A') : c;
    const size_t at = upper == '\0' ? std::string::npos : digits.find(upper);
    return at == std::string::npos ? -1 : int(at);
}

struct Model {
    std::map<uint64_t, uint8_t> bytes;
    uint64_t highest = 0;
    uint64_t lowest = UINT64_MAX;
    uint64_t base = 0;
    uint64_t lineNumber = 1;
    bool records = false;
    uint64_t conflictLine = 0;  // the first record that changed a byte, and the byte
    uint64_t conflictAddress = 0;
    ModelResult out;

    // False when the line ends the reading (damage or end record).
    bool Line(std::string line) {
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
        if (line.empty()) return true;
        if (line[0] != ':') {
            const size_t first = line.find_first_not_of(" \t");
            if (first > 0 && first != std::string::npos && line[first] == ':')
                return Damage(HexDamage::BlankBeforeColon);
            const bool digits =
                std::all_of(line.begin(), line.end(), [](char c) { return DigitOf(c) >= 0; });
            if (digits && line.size() >= 10) return Damage(HexDamage::WithoutColon);
            return true;
        }
        records = true;
        const std::string digits = line.substr(1);
        for (char c : digits)
            if (DigitOf(c) < 0) return Damage(HexDamage::NotHexDigit);
        if (digits.size() % 2 != 0) return Damage(HexDamage::OddDigits);
        std::vector<unsigned> record;
        for (size_t i = 0; i < digits.size(); i += 2)
            record.push_back(unsigned(DigitOf(digits[i]) * 16 + DigitOf(digits[i + 1])));
        if (record.empty() || record.size() != record[0] + 5)
            return Damage(HexDamage::LengthMismatch);
        unsigned sum = 0;
        for (unsigned b : record) sum += b;
        if (sum % 256 != 0) return Damage(HexDamage::Checksum);
        const unsigned count = record[0];
        const unsigned offset = record[1] * 256 + record[2];
        const unsigned type = record[3];
        if (type == 0) {
            if (count == 0) return true;
            if (base + offset + count - 1 >= 0x100000000ull) return Damage(HexDamage::Beyond4GiB);
            for (unsigned i = 0; i < count; ++i) {
                const uint64_t address = base + offset + i;
                const auto [at, fresh] = bytes.emplace(address, uint8_t(record[4 + i]));
                if (!fresh && at->second != record[4 + i] && conflictLine == 0) {
                    conflictLine = lineNumber;
                    conflictAddress = address;
                }
                at->second = uint8_t(record[4 + i]);
            }
            highest = std::max(highest, base + offset + count);
            lowest = std::min(lowest, base + offset);
            return true;
        }
        if (type == 1) {
            if (count != 0) return Damage(HexDamage::EndRecord);
            out.result.endRecord = true;
            return false;
        }
        if (type == 2 || type == 4) {
            if (count != 2 || offset != 0) return Damage(HexDamage::AddressRecord);
            base = uint64_t(record[4] * 256 + record[5]) * (type == 2 ? 16 : 65536);
            return true;
        }
        if (type == 3 || type == 5) {
            if (count != 4 || offset != 0) return Damage(HexDamage::StartRecord);
            StartAddress start;
            start.type = uint8_t(type);
            start.value = record[4] << 24 | record[5] << 16 | record[6] << 8 | record[7];
            out.result.start = start;
            return true;
        }
        return Damage(HexDamage::UnknownType);
    }

    bool Damage(HexDamage kind) {
        out.result.status = HexStatus::Damaged;
        out.result.damage = kind;
        return false;
    }
};

}  // namespace

ModelResult ModelParse(const std::string& text, uint64_t heapLimit) {
    Model model;
    size_t i = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    uint64_t& lineNumber = model.lineNumber;
    while (i < text.size()) {
        size_t j = i;
        while (j < text.size() && text[j] != '\r' && text[j] != '\n') ++j;
        if (!model.Line(text.substr(i, j - i))) break;
        if (j == text.size()) break;
        i = (text[j] == '\r' && j + 1 < text.size() && text[j + 1] == '\n') ? j + 2 : j + 1;
        ++lineNumber;
    }
    ModelResult& out = model.out;
    if (out.result.status != HexStatus::Damaged && !model.records) {
        model.Damage(HexDamage::NoRecords);
        lineNumber = 1;
    }
    if (out.result.status == HexStatus::Damaged) {
        out.result.line = lineNumber;
    } else if (model.highest > kDefaultMaxSpan) {
        // Refused before any allocation; 4 GiB exactly has a reason of its own.
        out.result.status = HexStatus::Damaged;
        out.result.damage = model.highest > 0xFFFFFFFFull ? HexDamage::TooLong : HexDamage::TooWide;
        out.result.address = uint32_t(model.highest - 1);
    } else if (model.highest > heapLimit) {
        out.result.status = HexStatus::OutOfMemory;
    } else if (model.conflictLine) {
        out.result.status = HexStatus::Damaged;
        out.result.damage = HexDamage::Conflict;
        out.result.line = model.conflictLine;
        out.result.address = uint32_t(model.conflictAddress);
    } else {
        out.result.anyData = model.highest > 0;
        if (out.result.anyData) {
            out.result.lowest = uint32_t(model.lowest);
            out.result.highest = uint32_t(model.highest - 1);
        }
        out.image.assign(model.highest, 0xFF);
        for (const auto& [address, value] : model.bytes) out.image[address] = value;
    }
    return out;
}

std::string CompareWithModel(const std::string& text, const HexResult& result,
                             const std::vector<uint8_t>& image, uint64_t heapLimit) {
    const ModelResult model = ModelParse(text, heapLimit);
    const HexResult& want = model.result;
    std::ostringstream diff;
    if (result.status != want.status)
        diff << "status " << int(result.status) << ", model " << int(want.status) << "; ";
    if (result.damage != want.damage || result.line != want.line || result.address != want.address)
        diff << "damage " << int(result.damage) << " at line " << result.line << ", model "
             << int(want.damage) << " at line " << want.line << "; ";
    if (result.start.has_value() != want.start.has_value() ||
        (want.start &&
         (result.start->type != want.start->type || result.start->value != want.start->value)))
        diff << "start address differs; ";
    if (result.endRecord != want.endRecord || result.anyData != want.anyData ||
        result.lowest != want.lowest || result.highest != want.highest)
        diff << "end record " << result.endRecord << " range " << result.anyData << " "
             << result.lowest << "-" << result.highest << ", model " << want.endRecord << " "
             << want.anyData << " " << want.lowest << "-" << want.highest << "; ";
    if (image != model.image)
        diff << "image of " << image.size() << " bytes, model " << model.image.size() << "; ";
    return diff.str();
}
