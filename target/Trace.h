// The --trace log: one line per byte, "<seconds since start> in|out <hex>".
// "in" is host to target, "out" target to host. Buffered; Flush() at the end.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

class Trace {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // Null when the file cannot be created.
    static std::unique_ptr<Trace> Create(const std::string& path, TimePoint start);
    ~Trace();

    void Log(TimePoint when, bool fromHost, uint8_t byte);
    void Flush();

private:
    Trace(std::FILE* output, TimePoint origin) : file(output), start(origin) {}
    std::FILE* file;
    TimePoint start;
};
