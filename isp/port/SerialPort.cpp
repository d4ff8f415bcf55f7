#include "isp/port/SerialPort.h"

std::unique_ptr<SerialPort> OpenConfiguredPort(const std::string& name, uint32_t baudRate,
                                               PortError& why) {
    std::unique_ptr<SerialPort> port = OpenSerialPort(name, &why);
    if (!port) return nullptr;
    if (std::optional<PortError> refused = port->Configure(baudRate)) {
        why = *refused;
        return nullptr;
    }
    return port;
}
