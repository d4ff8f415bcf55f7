// A reset into the boot loader through the port's modem control lines, as
// boards with an auto-reset circuit take it: an Arduino Uno or Nano through
// DTR and a capacitor to RESET, an STM32 board with the adapter's RTS wired
// to NRST. The line is asserted for the pulse, then cleared (the other way
// round when the board is wired inverted), and the boot loader starts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "isp/port/SerialPort.h"

struct ResetPulse {
    unsigned lines = 0;  // kLineDtr, kLineRts or both; 0: no reset (the default)
    uint32_t ms = 50;
    bool inverted = false;
};

// "dtr", "rts", "dtr+rts" (or "rts+dtr"), "none"; nothing for other words.
std::optional<unsigned> ParseResetLines(const std::string& text);

// Pulses the lines on `port`. Nothing when done or nothing to do, else why not
// (the port has no modem lines, or the system's reason), for a one-line warning.
std::optional<std::string> PulseReset(SerialPort& port, const ResetPulse& pulse);
