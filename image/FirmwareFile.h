// Loading a firmware file by the rule every front end shares: a name whose
// extension (after the last dot) is HEX in any case is Intel HEX text;
// anything else is a raw binary image.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

bool HasHexExtension(const std::filesystem::path& path);

enum class LoadStatus { Ok, CannotOpen, OutOfMemory };

// Reads the whole file and converts it when it is HEX. On failure `image` is
// untouched: CannotOpen when the file cannot be opened or read to its end
// (directories included), OutOfMemory when its bytes do not fit in memory or
// it is longer than the 32-bit image length allows.
LoadStatus LoadFirmwareFile(const std::filesystem::path& path, std::vector<uint8_t>& image);
