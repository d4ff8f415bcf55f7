// Loading a firmware file by the rule every front end shares: the extension
// (after the last dot, any case) chooses the format. hex, ihx, ihex: Intel
// HEX; s19, s28, s37, srec, mot, sx: Motorola S-record; elf, axf: ELF;
// anything else: a raw binary image, byte for byte.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "image/PlacedData.h"
#include "image/ReaderResult.h"

enum class FileFormat : uint8_t { Raw, IntelHex, SRecord, Elf };

FileFormat FormatOf(const std::filesystem::path& path);
// "binary", "Intel HEX", "Motorola S-record", "ELF".
const char* FormatName(FileFormat format);

enum class LoadStatus { Ok, CannotOpen, OutOfMemory, Damaged };

struct FirmwareLoad {
    LoadStatus status = LoadStatus::Ok;
    int error = 0;  // CannotOpen: the system's errno value (strerror tells the reason)
    FileFormat format = FileFormat::Raw;
    ReaderResult read;  // the reader's result: damage and its line, entry, range, warnings
};

// Reads the whole file and converts it by its format; the image starts at
// `origin` (raw binary files carry no address and ignore it). On failure
// `image` is untouched: CannotOpen when the file cannot be opened or read to
// its end (directories included); OutOfMemory when its bytes or its image do
// not fit in memory, or a raw file is longer than 0xFFFFFFFF bytes; Damaged
// when the reader refuses the file, also when its data span more than
// `origin.maxSpan` (raw files carry no addresses and have no such limit). Every file is read until
// it ends (or passes that limit), whatever size the system reports for it.
FirmwareLoad LoadFirmwareFile(const std::filesystem::path& path, std::vector<uint8_t>& image,
                              ImageOrigin origin = {});
