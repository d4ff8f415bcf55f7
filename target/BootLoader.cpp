#include "target/BootLoader.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>

#include "image/ImageChecksum.h"
#include "isp/NoAnswer.h"
#include "target/ExitCodes.h"

namespace {

constexpr uint8_t kReady[3] = {0xA5, 0x5A, 0x00};
constexpr uint8_t kAck[3] = {0xA5, 0x5A, 0x41};
constexpr uint8_t kNak[3] = {0xA5, 0x5A, 0x42};
constexpr uint8_t kEnd[3] = {0x5A, 0xA5, 0x88};
constexpr uint8_t kVerified[3] = {0xA5, 0x5A, 0x56};
constexpr uint8_t kCheckFailed[3] = {0xA5, 0x5A, 0x43};
constexpr size_t kHeaderSize = 15;

// A header that stops half way is dropped after this long, and Ready resumes.
constexpr auto kPartialHeaderLimit = std::chrono::seconds(1);
// How long the last board keeps the line open after its verdict frame: closing
// the terminal at once would throw away what the host has not read yet.
constexpr auto kVerdictLinger = std::chrono::seconds(2);

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    return text;
}

uint32_t BigEndian(const uint8_t* bytes, size_t count) {
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i) value = value << 8 | bytes[i];
    return value;
}

}  // namespace

BootLoader::BootLoader(TargetLine& targetLine, const TargetOptions& faults,
                       const std::vector<uint8_t>* expectedImage)
    : line(targetLine), options(faults), expected(expectedImage) {}

BootLoader::Wait BootLoader::Next(uint8_t& byte) {
    switch (line.Receive(byte, giveUpAt.value_or(TargetLine::TimePoint::max()))) {
        case TargetLine::Event::Byte:
            return Wait::Got;
        case TargetLine::Event::HostGone:
            return Wait::Gone;
        case TargetLine::Event::TimedOut:
            return Wait::TimedOut;
        case TargetLine::Event::Interrupted:
            break;
    }
    return Wait::Interrupted;
}

void BootLoader::SendFrame(const uint8_t* frame, size_t count, bool announce, uint32_t times) {
    std::vector<uint8_t> bytes;
    bytes.reserve((options.noise + count) * times);
    for (uint32_t n = 0; n < times; ++n) {
        for (uint32_t i = 0; i < options.noise; ++i) {
            noiseState = noiseState * 1103515245u + 12345u;
            uint8_t b = static_cast<uint8_t>(noiseState >> 16);
            bytes.push_back(b == 0xA5 ? 0x5A : b);  // 0xA5 would start a frame at the host
        }
        bytes.insert(bytes.end(), frame, frame + count);
    }
    if (announce)
        line.Announce(bytes.data(), bytes.size());
    else
        line.Send(bytes.data(), bytes.size());
}

std::vector<uint8_t> BootLoader::Announcement() const {
    if (!options.application.empty()) {
        std::string text;
        for (size_t i = 0; i < options.application.size(); ++i) {
            const bool lineBreak = options.application.compare(i, 2, "\\n") == 0;
            text += lineBreak ? std::string("\r\n") : options.application.substr(i, 1);
            if (lineBreak) ++i;
        }
        text += "\r\n";
        return {text.begin(), text.end()};
    }
    if (options.boardBaud)
        return ReadAtOtherRate({std::begin(kReady), std::end(kReady)}, options.boardBaud,
                               options.baud);
    if (options.announceCode) return {0xA5, 0x5A, uint8_t(*options.announceCode)};
    return {std::begin(kReady), std::end(kReady)};
}

bool BootLoader::Fire(std::optional<uint32_t>& fault, uint32_t replyNumber) {
    if (!fault || *fault != replyNumber) return false;
    fault.reset();
    return true;
}

BootLoader::Wait BootLoader::AwaitHeader(uint8_t header[15]) {
    const auto interval = std::chrono::milliseconds(options.readyIntervalMs);
    // Back to back, the frames that fill about a millisecond of the line go
    // out together: one wake-up a millisecond instead of one a frame.
    const uint32_t burst = options.readyIntervalMs == 0 ? std::max(1u, options.baud / 30000) : 1;
    const TargetLine::TimePoint never = TargetLine::TimePoint::max();
    size_t have = 0;
    TargetLine::TimePoint nextReady = line.Now();
    TargetLine::TimePoint partialUntil = never;
    for (;;) {
        TargetLine::TimePoint now = line.Now();
        if (giveUpAt && now >= *giveUpAt) return Wait::TimedOut;
        if (have == 0 && now >= nextReady) {
            const std::vector<uint8_t> announcement = Announcement();
            SendFrame(announcement.data(), announcement.size(), true, burst);
            nextReady += interval;
            now = line.Now();
            if (nextReady <= now) nextReady = now + interval;  // late: no burst to catch up
        }
        TargetLine::TimePoint wake =
            std::min(giveUpAt.value_or(never), have == 0 ? nextReady : partialUntil);
        uint8_t b = 0;
        switch (line.Receive(b, wake)) {
            case TargetLine::Event::Interrupted:
                return Wait::Interrupted;
            case TargetLine::Event::HostGone:
                have = 0;
                continue;  // the next host starts afresh
            case TargetLine::Event::TimedOut:
                if (have > 0 && line.Now() >= partialUntil) {
                    have = 0;
                    nextReady = line.Now();
                }
                continue;
            case TargetLine::Event::Byte:
                break;
        }
        // Synchronise on 5A A5: anything before it is line noise.
        if (have == 0 && b != 0x5A) continue;
        if (have == 1 && b != 0xA5) {
            have = b == 0x5A ? 1 : 0;
            continue;
        }
        header[have++] = b;
        partialUntil = line.Now() + kPartialHeaderLimit;
        if (have == kHeaderSize) return Wait::Got;
    }
}

BootLoader::Reply BootLoader::Answer(uint32_t replyNumber, bool accepted) {
    if (options.replyDelayMs > 0)
        line.Pause(line.Now() + std::chrono::milliseconds(options.replyDelayMs));
    if (!accepted || Fire(options.nakAt, replyNumber)) {
        SendFrame(kNak, sizeof kNak);
        return Reply::Rejected;
    }
    if (Fire(options.silentAt, replyNumber)) return Reply::Silent;
    if (Fire(options.shortReplyAt, replyNumber)) {
        SendFrame(kAck, 2);
        return Reply::Short;
    }
    if (Fire(options.resetAt, replyNumber)) return Reply::Reset;
    if (Fire(options.hangUpAt, replyNumber)) {
        line.HangUp();
        hungUp = true;
        return Reply::HungUp;
    }
    SendFrame(kAck, sizeof kAck);
    return Reply::Acked;
}

Verdict BootLoader::Ended(Wait why, const std::string& where) const {
    switch (why) {
        case Wait::Gone:
            return {kTargetIncomplete, "the host left " + where};
        case Wait::TimedOut:
            return {kTargetTimeout, "time-out " + where};
        case Wait::Interrupted:
            return {kTargetSignalBase, "interrupted " + where};
        case Wait::Got:
            break;
    }
    return {kTargetIncomplete, where};
}

Verdict BootLoader::AwaitHostLeaving(int exitCode, const std::string& what) {
    if (!waitForHost) return {exitCode, what};
    for (;;) {
        uint8_t ignored = 0;
        Wait w = Next(ignored);
        if (w == Wait::Got) continue;  // whatever the host still sends is only traced
        if (w == Wait::Gone) return {exitCode, what + "; the host left"};
        return Ended(w, "after " + what);
    }
}

bool BootLoader::AwaitReject() {
    const TargetLine::TimePoint until = line.Now() + std::chrono::milliseconds(options.vetoMs);
    constexpr uint8_t kReject[3] = {0x5A, 0xA5, 0x8F};
    size_t have = 0;
    for (uint8_t b = 0; line.Receive(b, until) == TargetLine::Event::Byte;) {
        have = b == kReject[have] ? have + 1 : b == kReject[0] ? 1 : 0;
        if (have == sizeof kReject) return true;
    }
    return false;
}

void BootLoader::LingerUntilHostLeaves() {
    TargetLine::TimePoint until = line.Now() + kVerdictLinger;
    if (giveUpAt) until = std::min(until, *giveUpAt);
    uint8_t ignored = 0;
    while (line.Receive(ignored, until) == TargetLine::Event::Byte) {
    }
}

Verdict BootLoader::Judge(const uint8_t endFrame[3]) const {
    const uint32_t length = static_cast<uint32_t>(received.size());
    if (!std::equal(endFrame, endFrame + 3, kEnd))
        return {kTargetImageWrong, Format("bad end frame %02X %02X %02X after %u bytes",
                                          endFrame[0], endFrame[1], endFrame[2], length)};
    const uint16_t sum = ImageChecksum(received.data(), received.size());
    if (sum != headerChecksum)
        return {kTargetImageWrong,
                Format("image WRONG: %u bytes with checksum 0x%04X, the header says 0x%04X", length,
                       sum, headerChecksum)};
    if (expected) {
        if (expected->size() != received.size())
            return {kTargetImageWrong, Format("image WRONG: %u bytes, the --expect file has %zu",
                                              length, expected->size())};
        auto diff = std::mismatch(received.begin(), received.end(), expected->begin());
        if (diff.first != received.end()) {
            size_t at = static_cast<size_t>(diff.first - received.begin());
            return {kTargetImageWrong,
                    Format("image WRONG: byte 0x%zX is %02X, the --expect file has %02X", at,
                           *diff.first, *diff.second)};
        }
    }
    return {kTargetImageOk, Format("image OK: %u bytes, checksum 0x%04X as in the header%s", length,
                                   sum, expected ? ", equal to the --expect file" : "")};
}

Verdict BootLoader::Run(std::optional<TargetLine::TimePoint> giveUp, bool waitForHostToLeave) {
    giveUpAt = giveUp;
    waitForHost = waitForHostToLeave;
    transferStarted = false;
    received.clear();
    for (;;) {
        uint8_t header[kHeaderSize];
        if (Wait w = AwaitHeader(header); w != Wait::Got)
            return Ended(w, "while waiting for a header");

        const uint32_t length = BigEndian(header + 7, 4);
        std::string problem;
        if (header[2] != 0x80)
            problem = Format("command 0x%02X is not 0x80", header[2]);
        else if (header[13] != 0 || header[14] != 0)
            problem = Format("trailing bytes %02X %02X are not 00 00", header[13], header[14]);
        else if (length > kMaxImageLength)
            problem = Format("length %u is over the limit of %u", length, kMaxImageLength);

        switch (Answer(0, problem.empty())) {
            case Reply::Rejected:
                return AwaitHostLeaving(kTargetHeaderRejected,
                                        problem.empty() ? "header rejected (--nak-header)"
                                                        : "header rejected: " + problem);
            case Reply::Silent:
                return AwaitHostLeaving(kTargetIncomplete, "no reply to the header (fault 0)");
            case Reply::Short:
                return AwaitHostLeaving(kTargetIncomplete,
                                        "two-byte reply to the header (fault 0)");
            case Reply::Reset:
                continue;
            case Reply::HungUp:
                return {kTargetIncomplete, "hung up instead of answering the header (fault 0)"};
            case Reply::Acked:
                break;
        }

        transferStarted = true;
        headerChecksum = static_cast<uint16_t>(BigEndian(header + 11, 2));
        received.clear();
        received.reserve(std::min<uint32_t>(length, 1u << 20));  // grows as bytes really arrive
        bool reset = false;
        for (uint32_t block = 1; !reset && received.size() < length; ++block) {
            const uint32_t count =
                std::min<uint32_t>(128, length - static_cast<uint32_t>(received.size()));
            for (uint32_t i = 0; i < count; ++i) {
                uint8_t b = 0;
                if (Wait w = Next(b); w != Wait::Got)
                    return Ended(w, Format("in block %u (%zu of %u bytes received)", block,
                                           received.size(), length));
                received.push_back(b);
            }
            // Line noise: the block is acknowledged, only the final check can see it.
            if (Fire(options.corruptAt, block)) received[received.size() - count] ^= 0x01;
            switch (Answer(block, true)) {
                case Reply::Rejected:
                    return AwaitHostLeaving(
                        kTargetBlockRejected,
                        Format("block %u rejected (--nak-block %u)", block, block));
                case Reply::Silent:
                    return AwaitHostLeaving(
                        kTargetIncomplete, Format("no reply to block %u (fault %u)", block, block));
                case Reply::Short:
                    return AwaitHostLeaving(
                        kTargetIncomplete,
                        Format("two-byte reply to block %u (fault %u)", block, block));
                case Reply::Reset:
                    reset = true;
                    break;
                case Reply::HungUp:
                    return {kTargetIncomplete,
                            Format("hung up after block %u (fault %u)", block, block)};
                case Reply::Acked:
                    break;
            }
        }
        if (reset) {
            transferStarted = false;
            continue;
        }

        uint8_t endFrame[3];
        for (uint8_t& b : endFrame)
            if (Wait w = Next(b); w != Wait::Got)
                return Ended(w, Format("before the end frame (all %u bytes received)", length));
        Verdict verdict = Judge(endFrame);
        if (!options.noVerdict) {
            const bool right = verdict.exitCode == kTargetImageOk;
            SendFrame(right ? kVerified : kCheckFailed, 3);
            verdict.text += right ? "; sent Verified" : "; sent Check failed";
            if (!options.verdictSum) {
                // The CRC-32 of the flash, which holds what arrived.
                uint32_t crc = ImageCrc32(received.data(), received.size());
                if (options.flashDiffers) crc ^= 0x00010000u;
                const uint8_t bytes[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8),
                                          uint8_t(crc)};
                line.Send(bytes, sizeof bytes);  // right after the frame: no noise between
                if (right && AwaitReject()) {
                    verdict.exitCode = kTargetRejected;
                    verdict.text += "; the host rejected it: the image does not start";
                }
            }
            if (waitForHost) LingerUntilHostLeaves();
        }
        return verdict;
    }
}
