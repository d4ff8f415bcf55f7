#include "cli/Arguments.h"

#include <charconv>
#include <cstring>

#include "cli/ExitCodes.h"
#include "image/FirmwareFile.h"

std::filesystem::path PathFromArgument(const std::string& argument) {
#ifdef _WIN32
    return std::filesystem::path(std::u8string(argument.begin(), argument.end()));
#else
    // POSIX names are bytes; keep them as given even when they are not UTF-8.
    return std::filesystem::path(argument);
#endif
}

void TellFileError(std::ostream& err, const std::string& argument, int error) {
    err << "kestrune-cli: " << argument << ": "
        << (error ? std::strerror(error) : "cannot be read or written") << "\n";
}

std::optional<ImageOrigin> ParseOrigin(const std::string& text) {
    if (text == "lowest") return ImageOrigin{true, 0};
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    const char* first = text.data() + (hex ? 2 : 0);
    const char* last = text.data() + text.size();
    uint32_t address = 0;
    const auto [at, error] = std::from_chars(first, last, address, hex ? 16 : 10);
    if (first == last || error != std::errc() || at != last) return std::nullopt;
    return ImageOrigin{false, address};
}

std::optional<uint64_t> ParseSpan(const std::string& text) {
    if (text.empty()) return std::nullopt;
    unsigned shift = 0;
    switch (text.back()) {
        case 'k':
        case 'K':
            shift = 10;
            break;
        case 'm':
        case 'M':
            shift = 20;
            break;
        case 'g':
        case 'G':
            shift = 30;
            break;
    }
    const char* first = text.data();
    const char* last = text.data() + text.size() - (shift ? 1 : 0);
    uint64_t count = 0;
    const auto [at, error] = std::from_chars(first, last, count, 10);
    if (first == last || error != std::errc() || at != last) return std::nullopt;
    constexpr uint64_t kLimit = 4ull << 30;
    if (count == 0 || count > (kLimit >> shift)) return std::nullopt;
    return count << shift;
}

int LoadFirmwareArgument(const std::string& argument, std::vector<uint8_t>& image,
                         std::ostream& err, FirmwareLoad* details, ImageOrigin origin) {
    FirmwareLoad load = LoadFirmwareFile(PathFromArgument(argument), image, origin);
    const ReaderResult& read = load.read;
    switch (load.status) {
        case LoadStatus::Ok:
            for (const std::string& what : read.leftOut)
                err << "kestrune-cli: " << argument << ": left out " << what << "\n";
            if (!read.endRecord)
                err << "kestrune-cli: " << argument
                    << ": no end-of-file record; the file may be cut short\n";
            if (details) *details = std::move(load);
            return kExitOk;
        case LoadStatus::CannotOpen:
            TellFileError(err, argument, load.error);
            err << "Can't open file !\n";
            return kExitCannotOpen;
        case LoadStatus::Damaged:
            err << "kestrune-cli: " << argument << ": ";
            if (read.line) err << "line " << read.line << ": ";
            err << read.reason << "\n";
            return kExitDamaged;
        case LoadStatus::OutOfMemory:
            break;
    }
    err << "Not enough memory for the file !\n";
    return kExitOutOfMemory;
}
