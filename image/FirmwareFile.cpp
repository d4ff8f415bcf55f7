#include "image/FirmwareFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>

#include "image/Elf.h"
#include "image/IntelHex.h"
#include "image/LargeBlock.h"
#include "image/SRecord.h"

namespace {

// A file's bytes can become an image of at most this many.
constexpr uint64_t kLengthLimit = 0xFFFFFFFFull;

enum class Read { Ok, Failed, TooLong };

struct CloseFile {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, CloseFile>;

File OpenForReading(const std::filesystem::path& path) {
#ifdef _WIN32
    return File(::_wfopen(path.c_str(), L"rb"));
#else
    return File(std::fopen(path.c_str(), "rb"));
#endif
}

bool IsRegular(std::FILE* file, uint64_t& length) {
#ifdef _WIN32
    struct _stat64 info;
    if (::_fstat64(::_fileno(file), &info) != 0) return false;
#else
    struct stat info;
    if (::fstat(::fileno(file), &info) != 0) return false;
#endif
    length = uint64_t(info.st_size);
    return (info.st_mode & S_IFMT) == S_IFREG;
}

// Reads `file` to its end into `bytes`: a regular file in one allocation at
// its reported length, anything else (a pipe, a device) in growing steps. A
// full buffer is only grown when one more byte proves the file goes on, as
// the files of /proc do past the length they report. Throws bad_alloc when
// the heap cannot hold the bytes.
Read ReadAll(std::FILE* file, std::vector<uint8_t>& bytes) {
    uint64_t length = 0;
    const bool regular = IsRegular(file, length);
    if (regular && length > kLengthLimit) return Read::TooLong;
    ReserveLarge(bytes, size_t(regular ? length : 64 * 1024));
    bytes.resize(size_t(regular ? length : 64 * 1024));
    size_t used = 0;
    for (;;) {
        if (used == bytes.size()) {
            uint8_t more;
            if (std::fread(&more, 1, 1, file) != 1) break;
            if (used == kLengthLimit) return Read::TooLong;
            const uint64_t grown = std::max<uint64_t>(64 * 1024, uint64_t(used) * 2);
            bytes.resize(size_t(std::min(grown, kLengthLimit)));
            bytes[used++] = more;
        }
        const size_t got = std::fread(bytes.data() + used, 1, bytes.size() - used, file);
        used += got;
        if (got == 0) break;
    }
    bytes.resize(used);
    return std::ferror(file) ? Read::Failed : Read::Ok;
}

template <typename Char>
std::string LowerExtension(const std::basic_string<Char>& name) {
    const size_t dot = name.rfind(Char('.'));
    if (dot == std::basic_string<Char>::npos || name.size() - dot > 6) return {};
    std::string extension;
    for (size_t i = dot + 1; i < name.size(); ++i) {
        const auto c = std::make_unsigned_t<Char>(name[i]);
        if (c >= 0x80) return {};  // no extension we know has other characters
        extension.push_back(char(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    }
    return extension;
}

ReaderResult FromHex(const HexResult& hex) {
    ReaderResult read;
    read.status = hex.status == HexStatus::Whole     ? ReaderStatus::Whole
                  : hex.status == HexStatus::Damaged ? ReaderStatus::Damaged
                                                     : ReaderStatus::OutOfMemory;
    read.line = hex.line;
    if (hex.status == HexStatus::Damaged) {
        ImageBuild build;
        build.address = hex.address;
        build.origin = hex.origin;
        build.status = hex.damage == HexDamage::Conflict      ? ImageBuild::Conflict
                       : hex.damage == HexDamage::BelowOrigin ? ImageBuild::BelowOrigin
                       : hex.damage == HexDamage::TooWide     ? ImageBuild::TooWide
                       : hex.damage == HexDamage::TooLong     ? ImageBuild::TooLong
                                                              : ImageBuild::Ok;
        read.tooWide = hex.damage == HexDamage::TooWide || hex.damage == HexDamage::TooLong;
        read.reason =
            build.status == ImageBuild::Ok ? HexDamageReason(hex.damage) : ImageRefusal(build);
    }
    if (hex.start) read.entry = hex.start->Entry();
    if (hex.anyData) read.range = AddressRange{hex.lowest, hex.highest};
    read.origin = hex.origin;
    read.endRecord = hex.endRecord;
    return read;
}

}  // namespace

FileFormat FormatOf(const std::filesystem::path& path) {
    const std::string extension = LowerExtension(path.filename().native());
    for (const char* hex : {"hex", "ihx", "ihex"})
        if (extension == hex) return FileFormat::IntelHex;
    for (const char* srec : {"s19", "s28", "s37", "srec", "mot", "sx"})
        if (extension == srec) return FileFormat::SRecord;
    if (extension == "elf" || extension == "axf") return FileFormat::Elf;
    return FileFormat::Raw;
}

const char* FormatName(FileFormat format) {
    switch (format) {
        case FileFormat::Raw:
            break;
        case FileFormat::IntelHex:
            return "Intel HEX";
        case FileFormat::SRecord:
            return "Motorola S-record";
        case FileFormat::Elf:
            return "ELF";
    }
    return "binary";
}

FirmwareLoad LoadFirmwareFile(const std::filesystem::path& path, std::vector<uint8_t>& image,
                              ImageOrigin origin) {
    FirmwareLoad load;
    load.format = FormatOf(path);
    // A directory opens for reading on some systems, fails with an unclear
    // reason on others, and has no bytes to give on any.
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        load.status = LoadStatus::CannotOpen;
        load.error = EISDIR;
        return load;
    }
    errno = 0;
    const File file = OpenForReading(path);
    if (!file) {
        load.status = LoadStatus::CannotOpen;
        load.error = errno;
        return load;
    }
    std::vector<uint8_t> bytes;
    Read read;
    try {
        read = ReadAll(file.get(), bytes);
    } catch (const std::exception&) {  // bad_alloc, or length_error on a 32-bit system
        read = Read::TooLong;
    }
    if (read != Read::Ok) {
        load.status = read == Read::Failed ? LoadStatus::CannotOpen : LoadStatus::OutOfMemory;
        load.error = read == Read::Failed ? errno : 0;
        return load;
    }
    try {
        switch (load.format) {
            case FileFormat::Raw:
                load.read.endRecord = true;
                break;
            case FileFormat::IntelHex:
                load.read = FromHex(ParseIntelHex(bytes, origin));
                break;
            case FileFormat::SRecord:
                load.read = ParseSRecord(bytes, origin);
                break;
            case FileFormat::Elf:
                load.read = ParseElf(bytes, origin);
                break;
        }
    } catch (const std::exception&) {  // the heap could not hold a reason or a note
        load.read.status = ReaderStatus::OutOfMemory;
    }
    if (load.read.status == ReaderStatus::Damaged) load.status = LoadStatus::Damaged;
    if (load.read.status == ReaderStatus::OutOfMemory) load.status = LoadStatus::OutOfMemory;
    if (load.status != LoadStatus::Ok) return load;
    image = std::move(bytes);
    return load;
}
