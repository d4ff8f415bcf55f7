// What the simulated chip holds at the start of a run and leaves at its end:
// flash (a raw preload, an application ELF, then the boot loader's ELF on
// top) and EEPROM, from and to the files the options name.
#pragma once

#include <sim_avr.h>

#include <cstdint>
#include <optional>
#include <string>

#include "boot/sim/SimOptions.h"

// Loads the memories; the boot loader's first address, or nothing with `error` set.
// A loader must be placed above address 0: that is what makes it a boot loader.
std::optional<uint32_t> LoadMemories(avr_t* avr, const SimOptions& options, std::string& error);

// Writes the files --flash-out and --eeprom-out name; false when one cannot be written.
bool SaveMemories(avr_t* avr, const SimOptions& options);
