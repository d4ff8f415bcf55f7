#include <windows.h>

#include <string>

#include "cli/PortList.h"

std::vector<PortEntry> ListSerialPorts() {
    std::vector<PortEntry> ports;
    for (int n = 1; n <= 16; ++n) {
        const std::string shortName = "COM" + std::to_string(n);
        const std::string path = n < 10 ? shortName : "\\\\.\\" + shortName;
        HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
        if (handle == INVALID_HANDLE_VALUE) continue;  // absent, or held by another program
        CloseHandle(handle);
        ports.push_back({shortName, {}});
    }
    return ports;
}
