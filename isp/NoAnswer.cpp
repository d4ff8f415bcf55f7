#include "isp/NoAnswer.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr uint8_t kLead = 0xA5;
constexpr uint8_t kSecond = 0x5A;
constexpr size_t kQuoted = 40;

bool IsText(uint8_t b) {
    return (b >= 0x20 && b < 0x7F) || b == '\r' || b == '\n' || b == '\t';
}

const char* FrameName(uint8_t code) {
    switch (code) {
        case 0x41:
            return "Acknowledge (A5 5A 41)";
        case 0x42:
            return "Refuse (A5 5A 42)";
        case 0x43:
            return "Check failed (A5 5A 43)";
        case 0x56:
            return "Verified (A5 5A 56)";
    }
    return nullptr;
}

// The target frames among the bytes, named once each in order of first sight.
std::vector<std::string> FramesSeen(const std::vector<uint8_t>& bytes) {
    std::vector<std::string> names;
    for (size_t i = 0; i + 2 < bytes.size(); ++i) {
        if (bytes[i] != kLead || bytes[i + 1] != kSecond) continue;
        char other[24];
        const char* name = FrameName(bytes[i + 2]);
        if (!name) std::snprintf(other, sizeof other, "A5 5A %02X", bytes[i + 2]), name = other;
        if (std::find(names.begin(), names.end(), name) == names.end()) names.emplace_back(name);
        i += 2;
    }
    return names;
}

bool Contains(const std::vector<uint8_t>& haystack, const std::vector<uint8_t>& needle) {
    return !needle.empty() && std::search(haystack.begin(), haystack.end(), needle.begin(),
                                          needle.end()) != haystack.end();
}

}  // namespace

std::string EscapedText(const std::string& bytes, bool quoted) {
    std::string text;
    for (const char c : bytes) {
        const auto b = static_cast<uint8_t>(c);
        char escape[8];
        if (b == '\r')
            text += "\\r";
        else if (b == '\n')
            text += "\\n";
        else if (b == '\t')
            text += "\\t";
        else if (b == '\\' || (quoted && b == '"'))
            text += {'\\', c};
        else if (b >= 0x20 && b < 0x7F)
            text += c;
        else
            std::snprintf(escape, sizeof escape, "\\x%02X", b), text += escape;
    }
    return text;
}

std::vector<uint8_t> ReadAtOtherRate(const std::vector<uint8_t>& bytes, uint32_t sendRate,
                                     uint32_t readRate) {
    // The line level at time t, in units of the sender's bit time.
    const double bits = 10.0 * double(bytes.size());
    const auto level = [&](double t) {
        if (t < 0 || t >= bits) return 1;
        const size_t frame = size_t(t / 10);
        const int bit = int(t - 10.0 * double(frame));
        if (bit == 0) return 0;
        if (bit == 9) return 1;
        return (bytes[frame] >> (bit - 1)) & 1;
    };
    const double step = double(sendRate) / double(readRate);  // a reader's bit, in sender bits
    std::vector<uint8_t> read;
    // The reader looks for a falling edge finely enough to see every one.
    const double scan = std::min(step, 1.0) / 16;
    for (double t = 0; t < bits;) {
        if (level(t) != 0) {
            t += scan;
            continue;
        }
        uint8_t byte = 0;
        for (int bit = 0; bit < 8; ++bit)
            byte = uint8_t(byte | level(t + (1.5 + bit) * step) << bit);
        read.push_back(byte);
        // After the stop bit's middle the reader waits for the next edge.
        t += 9.5 * step;
        while (t < bits && level(t) == 0) t += scan;
    }
    return read;
}

std::string NoAnswerReason(const LineBytes& line, uint32_t baud) {
    const std::vector<uint8_t>& bytes = line.first;
    if (line.total == 0)
        return "no byte arrived: check that the board has power, that its TX goes to the "
               "adapter's RX, and that it was reset into its boot loader";
    const size_t text = size_t(std::count_if(bytes.begin(), bytes.end(), IsText));
    if (text * 10 >= bytes.size() * 9) {
        // The wait may have begun in the middle of a line: quote from the
        // start of the next one when enough follows it.
        size_t from = 0;
        const auto lineEnd = std::find_if(bytes.begin(), bytes.end(),
                                          [](uint8_t b) { return b == '\n' || b == '\r'; });
        size_t next = size_t(lineEnd - bytes.begin());
        while (next < bytes.size() && (bytes[next] == '\n' || bytes[next] == '\r')) ++next;
        if (next < bytes.size() && bytes.size() - next >= 8) from = next;
        return "an application is running, not the boot loader: the board printed \"" +
               EscapedText(
                   std::string(bytes.begin() + long(from),
                               bytes.begin() + long(std::min(bytes.size(), from + kQuoted))),
                   true) +
               "\"; reset it into its boot loader (kestrune-cli: --reset)";
    }
    if (const std::vector<std::string> frames = FramesSeen(bytes); !frames.empty()) {
        std::string names;
        for (const std::string& name : frames) names += (names.empty() ? "" : ", ") + name;
        return "the target sent " + names + " but no Ready frame: it is not waiting for a download";
    }
    std::string reason = std::to_string(line.total) +
                         " bytes arrived that make no frame and no text: the line may be at "
                         "another baud rate than the board's";
    // From the highest rate down: at a rate far below the line's every bit of
    // the frame reads as a zero byte, and those rates look alike.
    const std::vector<uint8_t> ready = {kLead, kSecond, 0x00};
    for (auto rate = std::rbegin(kStandardRates); rate != std::rend(kStandardRates); ++rate) {
        if (*rate == baud) continue;
        const std::vector<uint8_t> seen = ReadAtOtherRate(ready, *rate, baud);
        // A single byte matches too much by chance to name a rate.
        if (seen.size() < 2 || !Contains(bytes, seen)) continue;
        const bool zeros = std::all_of(seen.begin(), seen.end(), [](uint8_t b) { return b == 0; });
        return reason + " (they look like Ready frames sent at " + std::to_string(*rate) +
               (zeros ? " baud or below)" : " baud)");
    }
    return reason;
}
