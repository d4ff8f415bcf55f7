// Turning command-line arguments into paths. Arguments are UTF-8 on every
// platform (on Windows the entry point converts the wide command line), so
// names in any script load.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

std::filesystem::path PathFromArgument(const std::string& argument);

// Loads the firmware file named by a command's argument by the dialog's rule.
// Returns kExitOk, or the exit code after telling `err` why the file did not load.
int LoadFirmwareArgument(const std::string& argument, std::vector<uint8_t>& image,
                         std::ostream& err);
