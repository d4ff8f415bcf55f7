#include "cli/BoardMonitor.h"

#include <chrono>

#include "isp/NoAnswer.h"

bool MonitorBoard(SerialPort& port, const MonitorSettings& settings,
                  const std::function<bool()>& stop,
                  const std::function<void(const std::string& line)>& line) {
    using Clock = std::chrono::steady_clock;
    const auto end = settings.seconds
                         ? std::optional(Clock::now() + std::chrono::seconds(*settings.seconds))
                         : std::nullopt;
    const std::string expect = settings.expect.value_or("");
    std::string pending;  // the line so far
    std::string recent;   // the last bytes, as long as the expected text
    bool seen = expect.empty();
    while (!(end && Clock::now() >= *end) && !stop() && !(seen && !expect.empty())) {
        uint8_t byte = 0;
        const ReadResult read = port.ReadByte(byte);
        if (read == ReadResult::Gone) break;
        if (read != ReadResult::Byte) continue;
        if (!expect.empty()) {
            recent += char(byte);
            if (recent.size() > expect.size()) recent.erase(0, recent.size() - expect.size());
            seen = seen || recent == expect;
        }
        if (byte == '\n') {
            if (!pending.empty() && pending.back() == '\r') pending.pop_back();
            line(EscapedText(pending, false));
            pending.clear();
        } else {
            pending += char(byte);
        }
    }
    if (!pending.empty()) line(EscapedText(pending, false));
    return seen;
}
