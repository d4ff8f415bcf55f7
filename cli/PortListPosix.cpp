#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <system_error>

#include "cli/PortList.h"
#include "isp/port/SerialPort.h"

namespace fs = std::filesystem;

namespace {

// Device names of serial ports: USB adapters, CDC-ACM boards, on-board UARTs
// of PCs and of common single-board computers, Bluetooth serial links.
constexpr const char* kPrefixes[] = {"ttyUSB", "ttyACM", "ttyS",   "ttyAMA", "ttymxc",   "ttyO",
                                     "ttySAC", "ttyTHS", "ttyMSM", "ttyHS",  "ttyXRUSB", "rfcomm"};

bool IsCandidate(const std::string& name) {
#ifdef __APPLE__
    if (name.rfind("cu.", 0) == 0) return true;  // call-out devices: no wait for carrier
#endif
    for (const char* prefix : kPrefixes) {
        const std::string p = prefix;
        if (name.size() > p.size() && name.compare(0, p.size(), p) == 0 &&
            std::all_of(name.begin() + p.size(), name.end(),
                        [](char c) { return std::isdigit(uint8_t(c)); }))
            return true;
    }
    return false;
}

std::string ReadAttribute(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(uint8_t(line.back()))) line.pop_back();
    return line;
}

// The USB device above the terminal in sysfs, if there is one.
std::string UsbDescription(const std::string& sysRoot, const std::string& name) {
    std::error_code ec;
    const fs::path root = fs::canonical(sysRoot, ec);
    if (ec) return {};
    fs::path dir = fs::canonical(fs::path(sysRoot) / "class" / "tty" / name / "device", ec);
    for (; !ec && dir.string().size() > root.string().size(); dir = dir.parent_path()) {
        if (!fs::exists(dir / "idVendor", ec)) continue;
        const std::string manufacturer = ReadAttribute(dir / "manufacturer");
        const std::string product = ReadAttribute(dir / "product");
        const std::string serial = ReadAttribute(dir / "serial");
        std::string text = product;
        if (!manufacturer.empty() && product.rfind(manufacturer, 0) != 0)
            text = product.empty() ? manufacturer : manufacturer + " " + product;
        if (!serial.empty()) text += (text.empty() ? "serial " : ", serial ") + serial;
        text += (text.empty() ? "USB " : " (") + ReadAttribute(dir / "idVendor") + ":" +
                ReadAttribute(dir / "idProduct") + (text.empty() ? "" : ")");
        return text;
    }
    return {};
}

// udev's stable names (/dev/serial/by-id/usb-Maker_Product_Serial-if00-port0)
// for each device they point at: what is known when sysfs is not at hand.
std::map<fs::path, std::string> StableNames(const std::string& devRoot) {
    std::map<fs::path, std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(devRoot) / "serial" / "by-id", ec)) {
        const fs::path target = fs::canonical(entry.path(), ec);
        if (!ec) names[target] = entry.path().filename().string();
    }
    return names;
}

// ttyUSB2 before ttyUSB10.
bool NaturalLess(const std::string& a, const std::string& b) {
    auto split = [](const std::string& s) {
        size_t digits = s.size();
        while (digits > 0 && std::isdigit(uint8_t(s[digits - 1]))) --digits;
        return std::pair{s.substr(0, digits), s.substr(digits)};
    };
    auto [aStem, aNumber] = split(a);
    auto [bStem, bNumber] = split(b);
    if (aStem != bStem) return aStem < bStem;
    if (aNumber.size() != bNumber.size()) return aNumber.size() < bNumber.size();
    return aNumber < bNumber;
}

}  // namespace

std::vector<PortEntry> ListSerialPorts(const std::string& devRoot, const std::string& sysRoot) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(devRoot, ec)) {
        const std::string name = entry.path().filename().string();
        if (IsCandidate(name)) names.push_back(name);
    }
    std::sort(names.begin(), names.end(), NaturalLess);

    const auto stableNames = StableNames(devRoot);
    std::vector<PortEntry> ports;
    for (const std::string& name : names) {
        const fs::path path = fs::path(devRoot) / name;
        // Only ports that open now: absent hardware and ports held by another program are left out.
        if (!OpenSerialPort(path.string())) continue;
        PortEntry port{path.string(), UsbDescription(sysRoot, name)};
        if (port.description.empty()) {
            const auto stable = stableNames.find(fs::canonical(path, ec));
            if (!ec && stable != stableNames.end()) port.description = stable->second;
        }
        ports.push_back(port);
    }
    return ports;
}
