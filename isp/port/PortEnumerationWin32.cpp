#include <windows.h>

#include "isp/port/PortEnumeration.h"
#include "isp/port/PortName.h"

bool PortOpens(const std::string& name) {
    const std::string path = DevicePathForPort(name);
    HANDLE port = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
    if (port == INVALID_HANDLE_VALUE) return false;
    CloseHandle(port);
    return true;
}

std::vector<std::string> RegisteredPorts() {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE,
                      &key) != ERROR_SUCCESS)
        return names;
    for (DWORD index = 0;; ++index) {
        char valueName[256];
        DWORD valueNameLength = sizeof valueName;
        char data[256];
        DWORD dataLength = sizeof data - 1;
        DWORD type = 0;
        const LONG status = RegEnumValueA(key, index, valueName, &valueNameLength, nullptr, &type,
                                          reinterpret_cast<BYTE*>(data), &dataLength);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS || type != REG_SZ) continue;  // too long or not text: skipped
        data[dataLength] = '\0';  // the stored string need not end in one
        names.emplace_back(data);
    }
    RegCloseKey(key);
    return names;
}

std::vector<std::string> ListOpenablePorts() {
    std::vector<std::string> ports;
    for (int n = kFirstProbedPort; n <= kLastProbedPort; ++n) {
        const std::string name = "COM" + std::to_string(n);
        if (PortOpens(name)) ports.push_back(name);
    }
    // COM1 to COM16 have had their probe, whether they opened or not.
    std::vector<std::string> probed;
    for (int n = kFirstProbedPort; n <= kLastProbedPort; ++n)
        probed.push_back("COM" + std::to_string(n));
    for (const std::string& name : PortsToAdd(probed, RegisteredPorts()))
        if (PortOpens(name)) ports.push_back(name);
    return ports;
}
