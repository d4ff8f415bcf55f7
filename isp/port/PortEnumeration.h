// The serial ports of this Windows machine that can be opened now, as the
// dialog's port list and `kestrune-cli ports` show them: COM1 to COM16 probed
// in order, then every other port named under HKLM\HARDWARE\DEVICEMAP\SERIALCOMM
// that opens, in port list order. Plain names ("COM17"); opening goes through
// DevicePathForPort. Absent ports and ports held by another program are left out.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> ListOpenablePorts();

// One probe: the port opens (and is closed again at once).
bool PortOpens(const std::string& name);

// The port names (the values' data) under SERIALCOMM; empty when the key is absent.
std::vector<std::string> RegisteredPorts();
