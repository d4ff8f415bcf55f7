// Command line of kestrune-avrsim, the test harness that runs a boot loader's
// ELF file on a simulated ATmega328P with its UART on a pseudo-terminal.
#pragma once

#include <optional>
#include <string>

struct SimOptions {
    std::string loader;     // the boot loader's ELF file; its lowest address is the reset address
    std::string app;        // an application ELF file loaded into flash beside it
    std::string flashIn;    // raw flash contents loaded first (from address 0)
    std::string flashOut;   // raw flash contents written at the end
    std::string eepromIn;   // raw EEPROM contents loaded first
    std::string eepromOut;  // raw EEPROM contents written at the end
    std::string link;       // symbolic link to the pseudo-terminal
    std::string txLog;      // every byte the chip sends, raw
    std::string trace;      // "<seconds> in|out <hex>" per byte, by the simulated clock
    unsigned hostBaud = 0;  // rate the host's bytes arrive at; 0: the chip's own rate
    bool realTime = false;  // pace simulated time to the wall clock
    double timeout = 0;     // wall seconds before the run ends by itself; 0: never
    unsigned long corruptByte = 0;  // 1-based: that byte from the host arrives with a bit flipped
};

// The options, or nothing with `error` set (usage text when `error` is empty).
std::optional<SimOptions> ParseSimOptions(int argc, char** argv, std::string& error);

extern const char* const kSimUsage;
