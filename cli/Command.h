// One kestrune-cli command: its name, a one-line summary for the tool's help,
// and the function that runs it. A command gets the arguments after its name
// (UTF-8 on every platform), writes results to `out` and problems to `err`,
// answers --help itself and returns an ExitCode.
#pragma once

#include <ostream>
#include <string>
#include <vector>

using CommandArgs = std::vector<std::string>;

struct Command {
    const char* name;
    const char* summary;
    int (*run)(const CommandArgs& args, std::ostream& out, std::ostream& err);
};

// The commands, one file each.
int RunInfoCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);
int RunDownloadCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);
int RunPortsCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);
