// How a port name from the port list becomes the path the Win32 back end opens.
// Names longer than four characters (COM10 and up) go through the device
// namespace, "\\.\COM10"; COM1 to COM9 open as they are. A name that already
// carries the device-namespace prefix is left alone, so callers that added it
// themselves do not get it twice.
#pragma once

#include <string>

std::string DevicePathForPort(const std::string& name);
