// `download --monitor`: after a successful download the port stays open and
// what the board prints is shown line by line, with bytes a terminal would
// not show as themselves escaped (\r, \xNN...), until the time is up, Ctrl+C,
// or the --expect text has been seen.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "isp/port/SerialPort.h"

struct MonitorSettings {
    bool enabled = false;
    std::optional<uint32_t> seconds;    // none: until Ctrl+C (or the expected text)
    std::optional<uint32_t> baudRate;   // none: the download's rate
    std::optional<std::string> expect;  // ends the monitor once seen
};

// Shows the board's output through `line` (one call per line, without its
// line end; an unfinished line when the monitor ends). Returns whether the
// expected text was seen (true when none was asked for). `stop` is polled
// between reads, about every 20 ms.
bool MonitorBoard(SerialPort& port, const MonitorSettings& settings,
                  const std::function<bool()>& stop,
                  const std::function<void(const std::string& line)>& line);
