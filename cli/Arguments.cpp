#include "cli/Arguments.h"

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

int LoadFirmwareArgument(const std::string& argument, std::vector<uint8_t>& image,
                         std::ostream& err) {
    switch (LoadFirmwareFile(PathFromArgument(argument), image)) {
        case LoadStatus::Ok:
            return kExitOk;
        case LoadStatus::CannotOpen:
            err << "Can't open file !\n";
            return kExitCannotOpen;
        case LoadStatus::OutOfMemory:
            break;
    }
    err << "Not enough memory for the file !\n";
    return kExitOutOfMemory;
}
