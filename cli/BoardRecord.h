// What kestrune-cli knows about one board once its download has ended: the
// outcome, and the timing that the efficiency line, the log and the JSON
// events report.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

struct BoardRecord {
    std::string port;
    uint32_t board = 1;              // counted per port from 1
    std::optional<uint64_t> serial;  // the number stamped into this board's image
    std::string message;             // as the dialog shows it, e.g. ".....Success !"
    int exitCode = 0;                // the ExitCode of this outcome
    bool verified = false;   // the target confirmed the image it received (its verdict frame)
    std::string check;       // verified: "crc32" (the flash's CRC-32 matched) or "sum16"
    bool started = false;    // the boot loader answered with a Ready frame
    double seconds = 0;      // from the header going out to the last byte on the wire
    uint64_t bytes = 0;      // image bytes the target acknowledged
    uint64_t lineBytes = 0;  // every byte on the wire after the Ready frame, both ways
    uint32_t baudRate = 0;
    std::chrono::system_clock::time_point endedAt{};
    // Why the port failed, when it did: the system's reason it did not open
    // or refused a setting, or that the device went away. Empty otherwise.
    std::string portProblem;
    // What the line showed of a failure: why no board answered the Ready wait
    // (Not find device), or how the flash differs from the image (Verify Error).
    std::string lineReason;
};

// The reason a board failed that its row and its JSON outcome give: the
// port's problem, else why no board answered; empty for other outcomes.
inline const std::string& FailureReason(const BoardRecord& record) {
    return record.portProblem.empty() ? record.lineReason : record.portProblem;
}

// "kestrune-cli: COM7: no byte arrived: ...", the line after Not find device
// or Verify Error; empty when the line showed nothing of the failure.
std::string ReasonLine(const BoardRecord& record);

// --expect's verdict for the port named `port`: "kestrune-cli: COM7: the board
// did not print what was expected ("TEXT")" or that it did.
std::string ExpectLine(const std::string& port, const std::string& text, bool seen);

// "kestrune-cli: COM7: the device went away", the line that goes before the
// outcome; empty when the port had no problem.
std::string PortProblemLine(const BoardRecord& record);

// The message without its leading dots: "Success !".
std::string OutcomeText(const std::string& message);

// Acknowledged image bytes per second; 0 when no time was measured.
double BytesPerSecond(const BoardRecord& record);

// "66560 bytes in 6.10 s, 10.9 KiB/s, 97% of the line rate at 115200 baud,
// verified by the target" (or "not verified by the target"): the share is the
// line time of every byte moved (10 bits each, both ways) over the time the
// exchange took.
std::string EfficiencyLine(const BoardRecord& record);
