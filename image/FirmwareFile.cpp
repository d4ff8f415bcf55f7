#include "image/FirmwareFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

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

// Reads `file` to its end into `bytes`; a regular file in one go at its known
// length, anything else (a pipe, a device) in growing steps up to the limit.
// Throws bad_alloc when the heap cannot hold the bytes.
Read ReadAll(std::FILE* file, std::vector<uint8_t>& bytes) {
    uint64_t length = 0;
    if (IsRegular(file, length)) {
        if (length > kLengthLimit) return Read::TooLong;
        bytes.resize(size_t(length));
        bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));  // it may have shrunk
        return std::ferror(file) ? Read::Failed : Read::Ok;
    }
    size_t used = 0;
    for (;;) {
        if (used == bytes.size()) {
            if (used == kLengthLimit) {
                // Full: the stream must end here, or it is too long.
                uint8_t more;
                if (std::fread(&more, 1, 1, file) == 1) return Read::TooLong;
                break;
            }
            const uint64_t grown = std::max<uint64_t>(64 * 1024, uint64_t(used) * 2);
            bytes.resize(size_t(std::min(grown, kLengthLimit)));
        }
        const size_t got = std::fread(bytes.data() + used, 1, bytes.size() - used, file);
        used += got;
        if (got == 0) break;
    }
    bytes.resize(used);
    return std::ferror(file) ? Read::Failed : Read::Ok;
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

FirmwareLoad LoadFirmwareFile(const std::filesystem::path& path, std::vector<uint8_t>& image) {
    FirmwareLoad load;
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
    if (HasHexExtension(path)) {
        load.hex = ParseIntelHex(bytes);
        if (load.hex.status == HexStatus::Damaged) load.status = LoadStatus::Damaged;
        if (load.hex.status == HexStatus::OutOfMemory) load.status = LoadStatus::OutOfMemory;
        if (load.status != LoadStatus::Ok) return load;
    }
    image = std::move(bytes);
    return load;
}
