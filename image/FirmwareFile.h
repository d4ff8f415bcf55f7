// Loading a firmware file by the rule every front end shares: a name whose
// extension (after the last dot) is HEX in any case is Intel HEX text;
// anything else is a raw binary image.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "image/IntelHex.h"

bool HasHexExtension(const std::filesystem::path& path);

enum class LoadStatus { Ok, CannotOpen, OutOfMemory, Damaged };

struct FirmwareLoad {
    LoadStatus status = LoadStatus::Ok;
    int error = 0;  // CannotOpen: the system's errno value (strerror tells the reason)
    HexResult hex;  // HEX files: the damage and its line, the start address
};

// Reads the whole file and converts it when it is HEX. On failure `image` is
// untouched: CannotOpen when the file cannot be opened or read to its end
// (directories included); OutOfMemory when its bytes or its image do not fit
// in memory or in a 32-bit length (more than 0xFFFFFFFF bytes); Damaged for a
// HEX file with a damaged record. Files that are not regular (pipes, devices)
// are read until they end or pass that limit.
FirmwareLoad LoadFirmwareFile(const std::filesystem::path& path, std::vector<uint8_t>& image);
