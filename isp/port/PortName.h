// Windows port names: how a name from the port list becomes the path that is
// opened, and which names the port list takes.
// Names longer than four characters (COM10 and up) go through the device
// namespace, "\\.\COM10"; COM1 to COM9 open as they are. A name that already
// carries the device-namespace prefix is left alone, so callers that added it
// themselves do not get it twice.
#pragma once

#include <string>
#include <vector>

std::string DevicePathForPort(const std::string& name);

// The ports a list probe tries first: COM1 to COM16.
constexpr int kFirstProbedPort = 1;
constexpr int kLastProbedPort = 16;

// Plain names only: 1 to 64 letters and digits ("COM17", "CNCA0"), nothing
// that could name a file or another namespace.
bool IsPlainPortName(const std::string& name);

// Port list order: by the letters, then by the number (COM17 before COM100).
bool PortNameLess(const std::string& a, const std::string& b);

// The names of `registered` worth probing after `listed`: plain names not
// listed yet (letter case aside), each once, in port list order.
std::vector<std::string> PortsToAdd(const std::vector<std::string>& listed,
                                    std::vector<std::string> registered);
