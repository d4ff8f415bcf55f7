#include "cli/Arguments.h"

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

int LoadFirmwareArgument(const std::string& argument, std::vector<uint8_t>& image,
                         std::ostream& err, std::optional<StartAddress>* start) {
    const FirmwareLoad load = LoadFirmwareFile(PathFromArgument(argument), image);
    switch (load.status) {
        case LoadStatus::Ok:
            if (start) *start = load.hex.start;
            return kExitOk;
        case LoadStatus::CannotOpen:
            TellFileError(err, argument, load.error);
            err << "Can't open file !\n";
            return kExitCannotOpen;
        case LoadStatus::Damaged:
            err << "kestrune-cli: " << argument << ": line " << load.hex.line << ": "
                << HexDamageReason(load.hex.damage) << "\n";
            return kExitDamaged;
        case LoadStatus::OutOfMemory:
            break;
    }
    err << "Not enough memory for the file !\n";
    return kExitOutOfMemory;
}
