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

#include "image/FirmwareFile.h"

std::filesystem::path PathFromArgument(const std::string& argument);

// Loads the firmware file named by a command's argument by the dialog's rule,
// the image starting at `origin`. Returns kExitOk, after telling `err` what
// the image leaves out and that a file without end record may be cut short;
// otherwise the exit code after telling `err` why the file did not load.
// `details` receives the load's result when it succeeds.
int LoadFirmwareArgument(const std::string& argument, std::vector<uint8_t>& image,
                         std::ostream& err, FirmwareLoad* details = nullptr,
                         ImageOrigin origin = {});

// --origin's value: "lowest", or an address in decimal or 0x-prefixed hex
// below 4 GiB. Nothing when it is neither.
std::optional<ImageOrigin> ParseOrigin(const std::string& text);

// --max-span's value: a whole number of bytes, optionally with a K, M or G
// suffix (any case, powers of 1024), from 1 to 4G. Nothing otherwise.
std::optional<uint64_t> ParseSpan(const std::string& text);
inline constexpr const char* kSpanHint = " (bytes, with K, M or G, from 1 to 4G)";

// "kestrune-cli: FILE: REASON", the line before "Can't open file !" and
// "Can't write file !": `error` is the errno value that says why.
void TellFileError(std::ostream& err, const std::string& argument, int error);
