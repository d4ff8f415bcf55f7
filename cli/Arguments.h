// Turning command-line arguments into paths. Arguments are UTF-8 on every
// platform (on Windows the entry point converts the wide command line), so
// names in any script load.
#pragma once

#include <filesystem>
#include <string>

std::filesystem::path PathFromArgument(const std::string& argument);
