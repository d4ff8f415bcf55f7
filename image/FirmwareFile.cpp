#include "image/FirmwareFile.h"

#include <fstream>
#include <new>
#include <string>

#include "image/IntelHex.h"

namespace {

// Reads the whole stream; false on a read error. Sizes the buffer once when the
// length is known, and falls back to reading in chunks for pipes and devices.
bool ReadAll(std::ifstream& in, std::vector<uint8_t>& bytes) {
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    in.seekg(0, std::ios::beg);
    if (length >= 0 && in) {
        if (uint64_t(length) > 0xFFFFFFFFull) throw std::bad_alloc();  // lengths are 32-bit
        bytes.resize(size_t(length));
        in.read(reinterpret_cast<char*>(bytes.data()), length);
        if (in.bad()) return false;
        bytes.resize(size_t(in.gcount()));  // a file that shrank meanwhile
        return true;
    }
    in.clear();
    constexpr size_t kChunk = 64 * 1024;
    while (in) {
        const size_t used = bytes.size();
        if (used + kChunk > 0xFFFFFFFFull) throw std::bad_alloc();
        bytes.resize(used + kChunk);
        in.read(reinterpret_cast<char*>(bytes.data() + used), kChunk);
        bytes.resize(used + size_t(in.gcount()));
    }
    return !in.bad();
}

template <typename Char>
bool IsHexSuffix(const std::basic_string<Char>& name) {
    const size_t dot = name.rfind(Char('.'));
    if (dot == std::basic_string<Char>::npos || name.size() - dot != 4) return false;
    const char* hex = "HEX";
    for (size_t i = 0; i < 3; ++i) {
        Char c = name[dot + 1 + i];
        if (c >= Char('a') && c <= Char('z')) c = Char(c - 'a' + 'A');
        if (c != Char(hex[i])) return false;
    }
    return true;
}

}  // namespace

bool HasHexExtension(const std::filesystem::path& path) {
    return IsHexSuffix(path.filename().native());
}

LoadStatus LoadFirmwareFile(const std::filesystem::path& path, std::vector<uint8_t>& image) {
    // A directory opens for reading on some systems but has no bytes to give.
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) return LoadStatus::CannotOpen;
    std::ifstream in(path, std::ios::binary);
    if (!in) return LoadStatus::CannotOpen;
    std::vector<uint8_t> bytes;
    try {
        if (!ReadAll(in, bytes)) return LoadStatus::CannotOpen;
    } catch (const std::bad_alloc&) {
        return LoadStatus::OutOfMemory;
    } catch (const std::length_error&) {
        return LoadStatus::OutOfMemory;
    }
    if (HasHexExtension(path)) ParseIntelHex(bytes);
    image = std::move(bytes);
    return LoadStatus::Ok;
}
