// A pseudo-terminal whose master side the test holds (POSIX). The slave is
// the "serial port" the code under test opens; on the master the test plays
// the device, or nobody at all (a line with no boot loader).
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace test_support {

class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool ok() const { return master >= 0 && !slavePath.empty(); }
    int Master() const { return master; }
    const std::string& SlavePath() const { return slavePath; }

    // Writes all of `bytes` to the master; false when it cannot.
    bool Send(const std::vector<uint8_t>& bytes) const;
    // Exactly `count` bytes, or what arrived before `patience` ran out.
    std::vector<uint8_t> Receive(
        std::size_t count, std::chrono::milliseconds patience = std::chrono::seconds(10)) const;

private:
    int master = -1;
    std::string slavePath;
};

}  // namespace test_support
