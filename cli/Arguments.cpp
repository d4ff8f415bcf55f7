#include "cli/Arguments.h"

std::filesystem::path PathFromArgument(const std::string& argument) {
#ifdef _WIN32
    return std::filesystem::path(std::u8string(argument.begin(), argument.end()));
#else
    // POSIX names are bytes; keep them as given even when they are not UTF-8.
    return std::filesystem::path(argument);
#endif
}
