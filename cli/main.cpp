// kestrune-cli: the firmware downloader for terminals and scripts. The first
// argument names a command from the table below; each command lives in its
// own file and parses the rest of the arguments itself.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "KestruneVersion.h"
#include "cli/Command.h"
#include "cli/ExitCodes.h"

#ifdef _WIN32
#include <filesystem>
#endif

namespace {

constexpr Command kCommands[] = {
    {"info", "show a firmware file's image size and checksum, optionally save the image",
     RunInfoCommand},
    {"download", "download a firmware file into the boot loader on a serial port",
     RunDownloadCommand},
    {"ports", "list the serial ports that can be opened", RunPortsCommand},
};

void PrintToolHelp(std::ostream& out) {
    out << "kestrune-cli: downloads firmware into a microcontroller's serial boot loader.\n"
           "\n"
           "Usage: kestrune-cli COMMAND [ARGUMENTS...]\n"
           "       kestrune-cli COMMAND --help   (what a command does and its exit status)\n"
           "       kestrune-cli --version\n"
           "\n"
           "Commands:\n";
    for (const Command& command : kCommands) {
        out << "  " << command.name << std::string(10 - std::strlen(command.name), ' ')
            << command.summary << "\n";
    }
    out << "\n"
           "Exit status: 0 when the command succeeded, 64 for a bad command line;\n"
           "every other outcome has its own number, listed in the command's help.\n";
}

int RunCli(const std::vector<std::string>& args) {
    if (args.empty()) {
        PrintToolHelp(std::cerr);
        return kExitUsage;
    }
    const std::string& name = args[0];
    if (name == "-h" || name == "--help" || name == "help") {
        if (name == "help" && args.size() > 1) return RunCli({args[1], "--help"});
        PrintToolHelp(std::cout);
        return kExitOk;
    }
    if (name == "--version") {
        std::cout << "kestrune-cli " KESTRUNE_VERSION "\n";
        return kExitOk;
    }
    for (const Command& command : kCommands) {
        if (name == command.name) {
            return command.run(CommandArgs(args.begin() + 1, args.end()), std::cout, std::cerr);
        }
    }
    std::cerr << "kestrune-cli: unknown command '" << name << "'; try kestrune-cli --help\n";
    return kExitUsage;
}

}  // namespace

#ifdef _WIN32
// The wide entry point sees every character of the command line; commands get
// it as UTF-8, the same on every platform.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    try {
        for (int i = 1; i < argc; ++i) {
            const std::u8string utf8 = std::filesystem::path(argv[i]).u8string();
            args.emplace_back(utf8.begin(), utf8.end());
        }
    } catch (const std::exception&) {
        std::cerr << "kestrune-cli: an argument is not valid text\n";
        return kExitUsage;
    }
    return RunCli(args);
}
#else
int main(int argc, char** argv) {
    return RunCli(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
