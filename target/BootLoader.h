// The simulated boot loader: one run of the target's side of the link protocol.
// Sends Ready until a header arrives, answers the header and every block
// (with the faults the options ask for), and judges the image when the end
// frame arrives, telling the host (A5 5A 56 right, A5 5A 43 wrong) unless it
// plays a boot loader that knows no verdict. A run ends with the verdict:
// after the end frame, when the
// host leaves once a header was answered (unless the target reset), at the
// give-up time, or when the line is interrupted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "target/TargetLine.h"
#include "target/TargetOptions.h"

struct Verdict {
    int exitCode;      // see ExitCodes.h; kTargetSignalBase when interrupted
    std::string text;  // one line for the user
};

constexpr uint32_t kMaxImageLength = 64u << 20;  // larger headers are rejected

class BootLoader {
public:
    // `expected` (may be null) is the image the --expect file holds.
    BootLoader(TargetLine& line, const TargetOptions& options,
               const std::vector<uint8_t>* expected);

    // One board. After a rejected or unanswered header or block the run
    // waits for the host to leave, unless `waitForHostToLeave` is false.
    Verdict Run(std::optional<TargetLine::TimePoint> giveUpAt, bool waitForHostToLeave = true);

    // Bytes of the latest transfer, complete or not, and whether one began.
    const std::vector<uint8_t>& Received() const { return received; }
    bool TransferStarted() const { return transferStarted; }
    // The line was closed for good (--hangup-after-block): no board can follow.
    bool HungUp() const { return hungUp; }

private:
    enum class Reply { Acked, Rejected, Silent, Short, Reset, HungUp };
    enum class Wait { Got, Gone, TimedOut, Interrupted };

    Wait Next(uint8_t& byte);
    Wait AwaitHeader(uint8_t header[15]);
    Reply Answer(uint32_t replyNumber, bool accepted);
    Verdict AwaitHostLeaving(int exitCode, const std::string& what);
    void LingerUntilHostLeaves();
    // After Verified: whether the host sends its reject 5A A5 8F within the veto time.
    bool AwaitReject();
    Verdict Judge(const uint8_t endFrame[3]) const;
    Verdict Ended(Wait why, const std::string& where) const;
    // `times` copies, each with its own noise; an announcement may be dropped.
    void SendFrame(const uint8_t* frame, size_t count, bool announce = false, uint32_t times = 1);
    // What the board sends each ready interval: Ready, or what stands for it.
    std::vector<uint8_t> Announcement() const;
    bool Fire(std::optional<uint32_t>& fault, uint32_t replyNumber);

    TargetLine& line;
    TargetOptions options;  // copied: fault options are consumed as they fire
    const std::vector<uint8_t>* expected;
    std::optional<TargetLine::TimePoint> giveUpAt;
    bool waitForHost = true;
    std::vector<uint8_t> received;
    bool transferStarted = false;
    bool hungUp = false;
    uint16_t headerChecksum = 0;
    uint32_t noiseState = 1;
};
