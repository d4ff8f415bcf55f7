// Why no boot loader answered: what the line carried while the host waited
// for a Ready frame, told in words a user can act on. Only the bytes the wait
// read anyway are judged; nothing is sent to the board for it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The bytes a Ready wait read: the first kKept of them, and how many in all.
struct LineBytes {
    static constexpr size_t kKept = 4096;
    std::vector<uint8_t> first;
    uint64_t total = 0;

    void Add(uint8_t byte) {
        if (first.size() < kKept) first.push_back(byte);
        ++total;
    }
};

// One sentence for the line below "Not find device !": nothing arrived;
// an application's text (quoted, escaped, at most 40 characters); target
// frames other than Ready (named); or bytes that make neither, which point
// at another baud rate than `baud` (named when a Ready frame sent at one of
// the standard rates reads as these bytes at `baud`).
std::string NoAnswerReason(const LineBytes& line, uint32_t baud);

// What a UART reading at `readRate` takes from `bytes` sent back to back at
// `sendRate` (8N1, idle high): each byte's start edge, then a sample in the
// middle of each of its bits at the reader's rate. A byte whose stop bit
// reads low is still given, as a port without error checking gives it.
std::vector<uint8_t> ReadAtOtherRate(const std::vector<uint8_t>& bytes, uint32_t sendRate,
                                     uint32_t readRate);

// The text with \r, \n, \t, \\ (and " when `quoted`) and bytes outside
// printable ASCII (\xNN) escaped, as a terminal shows it safely.
std::string EscapedText(const std::string& bytes, bool quoted);

// The standard rates the host and the dialog offer.
inline constexpr uint32_t kStandardRates[] = {1200,  2400,  4800,  9600,  14400,
                                              19200, 38400, 57600, 115200};
