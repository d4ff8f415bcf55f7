#include "isp/ResetPulse.h"

#include <chrono>
#include <thread>

std::optional<unsigned> ParseResetLines(const std::string& text) {
    if (text == "none") return 0u;
    if (text == "dtr") return kLineDtr;
    if (text == "rts") return kLineRts;
    if (text == "dtr+rts" || text == "rts+dtr") return kLineDtr | kLineRts;
    return std::nullopt;
}

std::optional<std::string> PulseReset(SerialPort& port, const ResetPulse& pulse) {
    if (pulse.lines == 0) return std::nullopt;
    if (auto problem = port.SetModemLines(pulse.lines, !pulse.inverted)) return problem->text;
    std::this_thread::sleep_for(std::chrono::milliseconds(pulse.ms));
    if (auto problem = port.SetModemLines(pulse.lines, pulse.inverted)) return problem->text;
    return std::nullopt;
}
