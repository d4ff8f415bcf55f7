#include "cli/PortList.h"
#include "isp/port/PortEnumeration.h"

std::vector<PortEntry> ListSerialPorts() {
    std::vector<PortEntry> ports;
    for (const std::string& name : ListOpenablePorts()) ports.push_back({name, {}});
    return ports;
}
