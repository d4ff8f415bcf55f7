// The serial ports `kestrune-cli ports` lists: those that can be opened now.
// Windows: the dialog's port list (COM1 to COM16, then the other ports the
// system has registered; see isp/port/PortEnumeration.h). Linux and macOS:
// serial devices that open, with what the system knows about the USB adapter
// behind them.
#pragma once

#include <string>
#include <vector>

struct PortEntry {
    std::string name;  // what --port takes: "COM3", "/dev/ttyUSB0"
    std::string
        description;  // e.g. "FTDI FT232R USB UART, serial A50285BI (0403:6001)"; may be empty
};

#ifdef _WIN32
std::vector<PortEntry> ListSerialPorts();
#else
// `devRoot` and `sysRoot` are "/dev" and "/sys" except in tests.
std::vector<PortEntry> ListSerialPorts(const std::string& devRoot = "/dev",
                                       const std::string& sysRoot = "/sys");
#endif
