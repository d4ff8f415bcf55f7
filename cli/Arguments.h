// Turning command-line arguments into paths. Arguments are UTF-8 on every
// platform (on Windows the entry point converts the wide command line), so
// names in any script load.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "image/IntelHex.h"

std::filesystem::path PathFromArgument(const std::string& argument);

// Loads the firmware file named by a command's argument by the dialog's rule.
// Returns kExitOk, or the exit code after telling `err` why the file did not
// load. `start` receives a HEX file's start address when there is one.
int LoadFirmwareArgument(const std::string& argument, std::vector<uint8_t>& image,
                         std::ostream& err, std::optional<StartAddress>* start = nullptr);

// "kestrune-cli: FILE: REASON", the line before "Can't open file !" and
// "Can't write file !": `error` is the errno value that says why.
void TellFileError(std::ostream& err, const std::string& argument, int error);
