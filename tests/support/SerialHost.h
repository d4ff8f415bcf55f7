// The host's end of a simulated serial line: the slave side of a
// pseudo-terminal that a simulator offers, opened raw as a serial port would
// be. Every wait is bounded.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/Sum16.h"  // DownloadHeader

namespace test_support {

class SerialHost {
public:
    explicit SerialHost(const std::string& path);
    ~SerialHost();
    SerialHost(const SerialHost&) = delete;
    SerialHost& operator=(const SerialHost&) = delete;

    bool IsOpen() const { return fd >= 0; }
    // Writes all of `bytes`; false when the line is gone.
    bool Write(const std::vector<uint8_t>& bytes) const;
    // Exactly `count` bytes, or what arrived before `patience` ran out.
    std::vector<uint8_t> Read(std::size_t count,
                              std::chrono::milliseconds patience = std::chrono::seconds(20)) const;
    // Reads until the bytes end with `frame`; false when `patience` runs out first.
    bool WaitFor(const std::vector<uint8_t>& frame,
                 std::chrono::milliseconds patience = std::chrono::seconds(20)) const;

private:
    int fd = -1;
};

}  // namespace test_support
