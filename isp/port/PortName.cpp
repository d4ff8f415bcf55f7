#include "isp/port/PortName.h"

namespace {

constexpr char kDevicePrefix[] = "\\\\.\\";    // \\.\ (device namespace)
constexpr char kVerbatimPrefix[] = "\\\\?\\";  // \\?\ (the same, without parsing)

}  // namespace

std::string DevicePathForPort(const std::string& name) {
    if (name.size() <= 4) return name;
    if (name.starts_with(kDevicePrefix) || name.starts_with(kVerbatimPrefix)) return name;
    return kDevicePrefix + name;
}
