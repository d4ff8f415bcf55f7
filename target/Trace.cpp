#include "target/Trace.h"

std::unique_ptr<Trace> Trace::Create(const std::string& path, TimePoint start) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (!file) return nullptr;
    std::setvbuf(file, nullptr, _IOFBF, 1 << 20);
    std::fputs(
        "# kestrune-target trace: seconds since start, in = host to target, out = target to host\n",
        file);
    return std::unique_ptr<Trace>(new Trace(file, start));
}

Trace::~Trace() {
    std::fclose(file);
}

void Trace::Log(TimePoint when, bool fromHost, uint8_t byte) {
    const auto us = std::chrono::duration_cast<std::chrono::microseconds>(when - start).count();
    std::fprintf(file, "%lld.%06lld %s %02X\n", static_cast<long long>(us / 1000000),
                 static_cast<long long>(us % 1000000), fromHost ? "in" : "out", byte);
}

void Trace::Flush() {
    std::fflush(file);
}
