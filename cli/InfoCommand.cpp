// kestrune-cli info FILE [--origin ADDR|lowest] [--output IMAGE.bin]: the
// summary the dialog shows after Load File (path, image size, checksum), with
// the format and addresses, optionally with the flat image.
#include <cerrno>
#include <cstdio>
#include <optional>

#include "cli/Arguments.h"
#include "cli/Command.h"
#include "cli/ExitCodes.h"
#include "image/FirmwareFile.h"
#include "image/ImageChecksum.h"

namespace {

constexpr const char* kHelp =
    "Usage: kestrune-cli info FILE [--origin ADDR|lowest] [--max-span SIZE]\n"
    "                          [--output IMAGE.bin]\n"
    "\n"
    "Loads FILE the way the dialog's Load File does. The extension (after the\n"
    "last dot, any case) chooses the format:\n"
    "  hex ihx ihex                  Intel HEX\n"
    "  s19 s28 s37 srec mot sx       Motorola S-record\n"
    "  elf axf                       ELF (the file bytes of each loadable\n"
    "                                segment, at its physical address)\n"
    "  anything else                 raw binary: the image byte for byte\n"
    "The first three become a flat image starting at address 0 (or --origin),\n"
    "with 0xFF where nothing was written. Then prints:\n"
    "  path: FILE as given\n"
    "  format: binary, Intel HEX, Motorola S-record or ELF\n"
    "  size: image length in bytes, decimal\n"
    "  checksum: 16-bit sum of the image bytes, four hex digits\n"
    "  range: 0xLOW-0xHIGH, the lowest and highest address written (not for\n"
    "         raw binary files, nor for files that write no byte)\n"
    "  origin: 0xADDR, the image's first address (only with --origin)\n"
    "  entry: the start address, when the file gives one (HEX start record 03:\n"
    "         segment x 16 + offset; 05; S-record S7/S8/S9; ELF e_entry)\n"
    "A damaged file (bad checksum, a character that is not a hex digit, a\n"
    "length that does not match, an unknown record type, no record at all, a\n"
    "record hidden by blanks or without its ':' or 'S', two values for one\n"
    "address, an ELF segment past the end of the file, ...) is refused with\n"
    "its line number and the reason. A HEX or S-record file without end record\n"
    "loads with a warning that it may be cut short; ELF segments for AVR\n"
    "EEPROM, fuses, lock bits or signature are left out, each named.\n"
    "\n"
    "Options:\n"
    "  --origin ADDR       start the image at ADDR (decimal or 0x hex) instead\n"
    "                      of 0; data below ADDR is an error. `lowest` starts it\n"
    "                      at the lowest address written. Raw binary files\n"
    "                      carry no addresses and are not affected.\n"
    "  --max-span SIZE     allow the data to reach SIZE bytes from the image's\n"
    "                      first address (K, M, G suffixes; default 256M, at\n"
    "                      most 4G). A wider file is refused before any memory\n"
    "                      is taken for it: a stray record far away, or an\n"
    "                      image that needs --origin.\n"
    "  --output IMAGE.bin  also write the flat image to IMAGE.bin\n"
    "  -h, --help          show this help\n"
    "\n"
    "Exit status:\n"
    "  0   done\n"
    "  2   FILE cannot be opened or read (\"Can't open file !\")\n"
    "  3   not enough memory for FILE (\"Not enough memory for the file !\"), or\n"
    "      FILE is over 4 GiB\n"
    "  4   IMAGE.bin cannot be written (\"Can't write file !\")\n"
    "  11  FILE is damaged (\"kestrune-cli: FILE: line N: REASON\"), has data\n"
    "      below --origin, or data that reach wider than --max-span\n"
    "  64  bad command line\n";

struct InfoOptions {
    std::string file;
    std::optional<std::string> output;
    std::optional<ImageOrigin> origin;
    std::optional<uint64_t> maxSpan;
    bool help = false;
};

// Returns an error text, or nothing when the arguments make sense.
std::optional<std::string> ParseOptions(const CommandArgs& args, InfoOptions& options) {
    bool files = false;
    std::optional<std::string> fileArg;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (!files && arg == "--") {
            files = true;
        } else if (!files && (arg == "-h" || arg == "--help")) {
            options.help = true;
        } else if (!files && arg == "--output") {
            if (i + 1 == args.size()) return "--output needs a file name";
            options.output = args[++i];
        } else if (!files && arg.rfind("--output=", 0) == 0) {
            options.output = arg.substr(9);
        } else if (!files && (arg == "--origin" || arg.rfind("--origin=", 0) == 0)) {
            if (arg == "--origin" && i + 1 == args.size()) return "--origin needs an address";
            const std::string value = arg == "--origin" ? args[++i] : arg.substr(9);
            options.origin = ParseOrigin(value);
            if (!options.origin)
                return "bad --origin " + value + " (an address below 4 GiB, or lowest)";
        } else if (!files && (arg == "--max-span" || arg.rfind("--max-span=", 0) == 0)) {
            if (arg == "--max-span" && i + 1 == args.size()) return "--max-span needs a size";
            const std::string value = arg == "--max-span" ? args[++i] : arg.substr(11);
            options.maxSpan = ParseSpan(value);
            if (!options.maxSpan) return "bad --max-span " + value + kSpanHint;
        } else if (!files && arg.size() > 1 && arg[0] == '-') {
            return "unknown option " + arg;
        } else if (fileArg) {
            return "only one FILE, got another: " + arg;
        } else {
            fileArg = arg;
        }
    }
    if (options.help) return std::nullopt;
    if (!fileArg) return "FILE is missing";
    if (options.output && options.output->empty()) return "--output needs a file name";
    options.file = *fileArg;
    return std::nullopt;
}

// Returns 0, or the errno value that says why the image could not be written.
int WriteImage(const std::string& pathArg, const std::vector<uint8_t>& image) {
    errno = 0;
#ifdef _WIN32
    std::FILE* file = ::_wfopen(PathFromArgument(pathArg).c_str(), L"wb");
#else
    std::FILE* file = std::fopen(PathFromArgument(pathArg).c_str(), "wb");
#endif
    if (!file) return errno ? errno : EIO;
    const bool written =
        image.empty() || std::fwrite(image.data(), 1, image.size(), file) == image.size();
    int error = written ? 0 : (errno ? errno : EIO);
    if (std::fclose(file) != 0 && !error) error = errno ? errno : EIO;
    return error;
}

}  // namespace

int RunInfoCommand(const CommandArgs& args, std::ostream& out, std::ostream& err) {
    InfoOptions options;
    if (const auto problem = ParseOptions(args, options)) {
        err << "kestrune-cli info: " << *problem << "\n"
            << "Usage: kestrune-cli info FILE [--origin ADDR|lowest] [--output IMAGE.bin]"
               "  (--help for more)\n";
        return kExitUsage;
    }
    if (options.help) {
        out << kHelp;
        return kExitOk;
    }

    std::vector<uint8_t> image;
    FirmwareLoad load;
    ImageOrigin origin = options.origin.value_or(ImageOrigin{});
    if (options.maxSpan) origin.maxSpan = *options.maxSpan;
    if (const int status = LoadFirmwareArgument(options.file, image, err, &load, origin);
        status != kExitOk) {
        return status;
    }
    if (options.output) {
        if (const int error = WriteImage(*options.output, image)) {
            TellFileError(err, *options.output, error);
            err << "Can't write file !\n";
            return kExitCannotWrite;
        }
    }

    // The length is a 32-bit count: shown unsigned so that no size reads negative.
    char checksum[8];
    std::snprintf(checksum, sizeof checksum, "%04X",
                  unsigned(ImageChecksum(image.data(), image.size())));
    out << "path: " << options.file << "\n"
        << "format: " << FormatName(load.format) << "\n"
        << "size: " << uint32_t(image.size()) << "\n"
        << "checksum: " << checksum << "\n";
    char text[32];
    if (const auto& range = load.read.range) {
        std::snprintf(text, sizeof text, "0x%08X-0x%08X", unsigned(range->low),
                      unsigned(range->high));
        out << "range: " << text << "\n";
    }
    if (options.origin && load.format != FileFormat::Raw) {
        std::snprintf(text, sizeof text, "0x%08X", unsigned(load.read.origin));
        out << "origin: " << text << "\n";
    }
    if (const auto& entry = load.read.entry) {
        std::snprintf(text, sizeof text, "0x%08X", unsigned(*entry));
        out << "entry: " << text << "\n";
    }
    return kExitOk;
}
