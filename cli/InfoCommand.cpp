// kestrune-cli info FILE [--output IMAGE.bin]: the summary the dialog shows
// after Load File (path, image size, checksum), optionally with the flat image.
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
    "Usage: kestrune-cli info FILE [--output IMAGE.bin]\n"
    "\n"
    "Loads FILE the way the dialog's Load File does: a name whose extension\n"
    "(after the last dot) is HEX in any case is Intel HEX text and becomes a\n"
    "flat image starting at address 0, with 0xFF where no record wrote; any\n"
    "other file is the image byte for byte. Then prints three lines:\n"
    "  path: FILE as given\n"
    "  size: image length in bytes, decimal\n"
    "  checksum: 16-bit sum of the image bytes, four hex digits\n"
    "and a fourth when a HEX file has a start-address record (type 03 or 05):\n"
    "  entry: the start address, 0x and eight hex digits (03: segment x 16 + offset)\n"
    "A HEX file with a damaged record (bad checksum, a character that is not a\n"
    "hex digit, a length that does not match, an unknown type, ...) is refused\n"
    "with its line number and the reason.\n"
    "\n"
    "Options:\n"
    "  --output IMAGE.bin  also write the flat image to IMAGE.bin\n"
    "  -h, --help          show this help\n"
    "\n"
    "Exit status:\n"
    "  0   done\n"
    "  2   FILE cannot be opened or read (\"Can't open file !\")\n"
    "  3   not enough memory for FILE (\"Not enough memory for the file !\"), or\n"
    "      FILE is over 4 GiB\n"
    "  4   IMAGE.bin cannot be written (\"Can't write file !\")\n"
    "  11  FILE is a damaged HEX file (\"kestrune-cli: FILE: line N: REASON\")\n"
    "  64  bad command line\n";

struct InfoOptions {
    std::string file;
    std::optional<std::string> output;
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
            << "Usage: kestrune-cli info FILE [--output IMAGE.bin]  (--help for more)\n";
        return kExitUsage;
    }
    if (options.help) {
        out << kHelp;
        return kExitOk;
    }

    std::vector<uint8_t> image;
    std::optional<StartAddress> start;
    if (const int status = LoadFirmwareArgument(options.file, image, err, &start);
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
        << "size: " << uint32_t(image.size()) << "\n"
        << "checksum: " << checksum << "\n";
    if (start) {
        char entry[16];
        std::snprintf(entry, sizeof entry, "0x%08X", unsigned(start->Entry()));
        out << "entry: " << entry << "\n";
    }
    return kExitOk;
}
