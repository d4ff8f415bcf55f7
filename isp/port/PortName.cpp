#include "isp/port/PortName.h"

#include <algorithm>
#include <cctype>

namespace {

constexpr char kDevicePrefix[] = "\\\\.\\";    // \\.\ (device namespace)
constexpr char kVerbatimPrefix[] = "\\\\?\\";  // \\?\ (the same, without parsing)
constexpr size_t kLongestPortName = 64;

std::string Upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// "COM17" -> {"COM", "17"}: the trailing digits, without leading zeros.
std::pair<std::string, std::string> SplitNumber(const std::string& name) {
    size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
    size_t first = digits;
    while (first + 1 < name.size() && name[first] == '0') ++first;
    return {Upper(name.substr(0, digits)), name.substr(first)};
}

}  // namespace

std::string DevicePathForPort(const std::string& name) {
    if (name.size() <= 4) return name;
    if (name.starts_with(kDevicePrefix) || name.starts_with(kVerbatimPrefix)) return name;
    return kDevicePrefix + name;
}

bool IsPlainPortName(const std::string& name) {
    return !name.empty() && name.size() <= kLongestPortName &&
           std::all_of(name.begin(), name.end(),
                       [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
}

bool PortNameLess(const std::string& a, const std::string& b) {
    const auto [aStem, aNumber] = SplitNumber(a);
    const auto [bStem, bNumber] = SplitNumber(b);
    if (aStem != bStem) return aStem < bStem;
    if (aNumber.size() != bNumber.size()) return aNumber.size() < bNumber.size();
    return aNumber < bNumber;
}

std::vector<std::string> PortsToAdd(const std::vector<std::string>& listed,
                                    std::vector<std::string> registered) {
    std::vector<std::string> seen;
    seen.reserve(listed.size());
    for (const std::string& name : listed) seen.push_back(Upper(name));
    std::vector<std::string> added;
    for (std::string& name : registered) {
        if (!IsPlainPortName(name)) continue;
        const std::string key = Upper(name);
        if (std::find(seen.begin(), seen.end(), key) != seen.end()) continue;
        seen.push_back(key);
        added.push_back(std::move(name));
    }
    std::stable_sort(added.begin(), added.end(), PortNameLess);
    return added;
}
