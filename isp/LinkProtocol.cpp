#include "isp/LinkProtocol.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <thread>

#include "image/ImageChecksum.h"

namespace {

constexpr uint8_t kTargetLead = 0xA5;
constexpr uint8_t kTargetSecond = 0x5A;
constexpr uint32_t kFrameSize = 3;
constexpr uint32_t kAttemptLimit = 1000;  // a wait gives up once its attempt count exceeds this

// The exchange's hooks, with an absent hook meaning "never stop" or "nobody listens".
struct Hooks {
    const ExchangeHooks& hooks;

    bool StopRequested() const { return hooks.stopRequested && hooks.stopRequested(); }
    void Progress(uint8_t percent) const {
        if (hooks.progress) hooks.progress(percent);
    }
    void Message(Outcome outcome) const {
        if (hooks.message) hooks.message(OutcomeMessage(outcome));
    }
    void Announcing() const {
        if (hooks.announcing) hooks.announcing();
    }
    void LineQuiet() const {
        if (hooks.lineQuiet) hooks.lineQuiet();
    }
    void Verified(const char* check) const {
        if (hooks.verified) hooks.verified(check);
    }
    void VerifyProblem(const std::string& reason) const {
        if (hooks.verifyProblem) hooks.verifyProblem(reason);
    }
    bool BeforeHeader(uint16_t& checksum) const {
        return !hooks.beforeHeader || hooks.beforeHeader(checksum);
    }
};

bool IsFrame(const uint8_t frame[3], uint8_t code) {
    return frame[0] == kTargetLead && frame[1] == kTargetSecond && frame[2] == code;
}

// After a complete frame that is not Ready, keep the longest tail that could
// still begin a frame, so a stray 0xA5 just before a real Ready is not fatal.
void Resynchronise(uint8_t frame[3], uint32_t& count) {
    if (frame[1] == kTargetLead) {
        frame[0] = frame[1];
        frame[1] = frame[2];
        count = 2;
    } else if (frame[2] == kTargetLead) {
        frame[0] = frame[2];
        count = 1;
    } else {
        count = 0;
    }
}

enum class WaitResult { Done, Stopped, BoundReached, WrongFrame };

// Every byte read goes into `seen` as well, for the reason no board answered.
WaitResult WaitForReady(SerialPort& port, const Hooks& hooks, LineBytes& seen, bool& gone) {
    uint8_t frame[kFrameSize] = {};
    uint32_t count = 0;
    for (uint32_t attempts = 0;; ++attempts) {
        if (hooks.StopRequested()) return WaitResult::Stopped;
        if (attempts > kAttemptLimit) return WaitResult::BoundReached;
        uint8_t byte = 0;
        const ReadResult read = port.ReadByte(byte);
        if (read == ReadResult::Gone) {
            gone = true;
            return WaitResult::BoundReached;
        }
        if (read != ReadResult::Byte) continue;
        seen.Add(byte);
        frame[count] = byte;
        if (frame[0] == kTargetLead) ++count;
        if (count == kFrameSize) {
            if (IsFrame(frame, kReadyCode)) return WaitResult::Done;
            Resynchronise(frame, count);
        }
    }
}

WaitResult WaitForNextBoard(SerialPort& port, const Hooks& hooks, uint32_t quietReads) {
    uint8_t frame[kFrameSize] = {};
    uint32_t count = 0;
    uint32_t quiet = 0;            // reads in a row that brought nothing, up to quietReads
    bool armed = quietReads == 0;  // the gap has passed: the next Ready frame is a board
    bool announcedEarly = false;   // a Ready frame came before the gap
    for (;;) {
        if (hooks.StopRequested()) return WaitResult::Stopped;
        uint8_t byte = 0;
        const ReadResult read = port.ReadByte(byte);
        if (read == ReadResult::Gone) return WaitResult::BoundReached;
        if (read != ReadResult::Byte) {
            if (read == ReadResult::Failed)
                std::this_thread::sleep_for(std::chrono::milliseconds(kReadTimeoutMs));
            if (quiet < quietReads && ++quiet == quietReads) {
                count = 0;  // the rest of this frame will never come
                armed = true;
                if (announcedEarly) hooks.LineQuiet();
                announcedEarly = false;
            }
            continue;
        }
        quiet = 0;
        frame[count] = byte;
        if (frame[0] == kTargetLead) ++count;
        if (count < kFrameSize) continue;
        if (!IsFrame(frame, kReadyCode)) {
            Resynchronise(frame, count);
        } else if (armed) {
            return WaitResult::Done;
        } else {
            count = 0;
            announcedEarly = true;
            hooks.Announcing();
        }
    }
}

// `skipReady`: after the header, a Ready frame that was already on its way
// when the header went out is an announcement, not the reply; the wait goes
// on within the same bound.
WaitResult WaitForAcknowledge(SerialPort& port, const Hooks& hooks, bool skipReady) {
    uint8_t frame[kFrameSize] = {};
    uint32_t count = 0;
    for (uint32_t attempts = 0;; ++attempts) {
        if (ReadFrame(port, frame, count) == ReadResult::Gone) return WaitResult::BoundReached;
        if (count == kFrameSize) {
            if (!(skipReady && IsFrame(frame, kReadyCode))) {
                return IsFrame(frame, kAcknowledgeCode) ? WaitResult::Done : WaitResult::WrongFrame;
            }
            count = 0;
        }
        if (attempts > kAttemptLimit) return WaitResult::BoundReached;
        if (hooks.StopRequested()) return WaitResult::Stopped;
    }
}

Outcome Fail(SerialPort& port, const Hooks& hooks, Outcome outcome) {
    port.Purge();
    hooks.Message(outcome);
    return outcome;
}

// Maps a failed acknowledgement wait to its outcome; `wrongFrame` differs
// between the header (Error) and a block (Program Error).
Outcome FailedWait(WaitResult result, Outcome wrongFrame) {
    switch (result) {
        case WaitResult::Stopped:
            return Outcome::UserStop;
        case WaitResult::BoundReached:
            return Outcome::ReadTimeOut;
        default:
            return wrongFrame;
    }
}

void PutBigEndian(uint8_t* out, uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) {
        out[i] = static_cast<uint8_t>(value);
        value >>= 8;
    }
}

}  // namespace

const char* OutcomeMessage(Outcome outcome) {
    switch (outcome) {
        case Outcome::Success:
            return ".....Success !";
        case Outcome::UserStop:
            return ".....User stop !";
        case Outcome::NotFindDevice:
            return ".....Not find device !";
        case Outcome::Error:
            return ".....Error !";
        case Outcome::ProgramError:
            return ".....Program Error !";
        case Outcome::ReadTimeOut:
            return ".....Read time out !";
        case Outcome::VerifyError:
            return ".....Verify Error !";
    }
    return "";
}

ReadResult ReadFrame(SerialPort& port, uint8_t frame[3], uint32_t& count) {
    if (count >= kFrameSize) return ReadResult::TimedOut;  // a full frame is never written past
    uint8_t byte = 0;
    const ReadResult result = port.ReadByte(byte);
    if (result != ReadResult::Byte) return result;
    frame[count] = byte;
    if (frame[0] == kTargetLead) ++count;
    return result;
}

void BuildHeader(uint32_t startAddress, uint32_t length, uint16_t checksum,
                 uint8_t header[kHeaderSize]) {
    header[0] = 0x5A;
    header[1] = 0xA5;
    header[2] = kProgramCommand;
    PutBigEndian(header + 3, startAddress, 4);
    PutBigEndian(header + 7, length, 4);
    PutBigEndian(header + 11, checksum, 2);
    header[13] = 0x00;
    header[14] = 0x00;
}

namespace {

// A boot loader that knows no verdict sends nothing: the bound keeps that to
// about 200 ms. Only the first complete frame counts. Line noise before it
// (bytes that cannot begin a frame) does not use up the bound, up to
// kVerdictNoiseLimit bytes: noise must not turn a failed check into a success.
// A verdict is followed by the CRC-32 of the flash from boot loaders that
// compute it: read within a few quiet reads. Older ones send nothing more.
bool ReadFlashCrc(SerialPort& port, uint32_t& crc) {
    uint32_t have = 0;
    for (uint32_t quiet = 0; have < 4 && quiet < kCrcReadLimit;) {
        uint8_t byte = 0;
        const ReadResult result = port.ReadByte(byte);
        if (result == ReadResult::Gone) break;
        if (result != ReadResult::Byte) {
            ++quiet;
            continue;
        }
        crc = crc << 8 | byte;
        ++have;
    }
    return have == 4;
}

Outcome AwaitVerdict(SerialPort& port, const Hooks& hooks, const uint8_t* image, uint32_t length) {
    uint8_t frame[kFrameSize] = {};
    uint32_t count = 0;
    uint32_t noise = 0;
    for (uint32_t reads = 0; reads < kVerdictReadLimit && count < kFrameSize;) {
        const ReadResult result = ReadFrame(port, frame, count);
        if (result == ReadResult::Gone) break;
        if (result == ReadResult::Byte && count == 0 && ++noise <= kVerdictNoiseLimit) continue;
        ++reads;
    }
    if (count == kFrameSize && IsFrame(frame, kVerifiedCode)) {
        uint32_t flash = 0;
        if (!ReadFlashCrc(port, flash)) {
            hooks.Verified("sum16");
            return Outcome::Success;
        }
        const uint32_t expected = ImageCrc32(image, length);
        if (flash == expected) {
            hooks.Verified("crc32");
            return Outcome::Success;
        }
        // The board waits a moment for this before it takes the image as valid.
        const uint8_t reject[3] = {0x5A, 0xA5, kRejectCommand};
        port.Write(reject, sizeof reject);
        char reason[96];
        std::snprintf(reason, sizeof reason,
                      "the flash differs from the image (CRC-32 %08X, expected %08X)",
                      unsigned(flash), unsigned(expected));
        hooks.VerifyProblem(reason);
        hooks.Message(Outcome::VerifyError);
        return Outcome::VerifyError;
    } else if (count == kFrameSize && IsFrame(frame, kCheckFailedCode)) {
        hooks.Message(Outcome::VerifyError);
        return Outcome::VerifyError;
    }
    return Outcome::Success;
}

// Everything after the Ready frame: header, blocks, end frame.
Outcome ExchangeAfterReady(SerialPort& port, const uint8_t* image, uint32_t length,
                           uint32_t startAddress, uint16_t checksum, const Hooks& hooks) {
    if (!hooks.BeforeHeader(checksum)) return Fail(port, hooks, Outcome::UserStop);
    uint8_t header[kHeaderSize];
    BuildHeader(startAddress, length, checksum, header);
    port.Write(header, sizeof header);
    WaitResult reply = WaitForAcknowledge(port, hooks, true);
    if (reply != WaitResult::Done) return Fail(port, hooks, FailedWait(reply, Outcome::Error));

    std::array<uint8_t, kBlockSize> block{};
    for (uint32_t position = 0; position < length;) {
        const uint32_t size = std::min(kBlockSize, length - position);
        std::copy_n(image + position, size, block.begin());
        port.Write(block.data(), size);
        reply = WaitForAcknowledge(port, hooks, false);
        if (reply != WaitResult::Done) {
            return Fail(port, hooks, FailedWait(reply, Outcome::ProgramError));
        }
        position += size;
        // 64-bit product: 100 * position overflows 32 bits for images over 42 MB.
        hooks.Progress(static_cast<uint8_t>(uint64_t{100} * position / length));
    }

    hooks.Message(Outcome::Success);
    const uint8_t endFrame[kEndFrameSize] = {0x5A, 0xA5, kEndCommand};
    port.Write(endFrame, sizeof endFrame);
    return AwaitVerdict(port, hooks, image, length);
}

}  // namespace

Outcome RunExchange(SerialPort& port, const uint8_t* image, uint32_t length, uint32_t startAddress,
                    uint16_t checksum, const ExchangeHooks& exchangeHooks) {
    const Hooks hooks{exchangeHooks};
    port.Purge();

    LineBytes seen;
    bool gone = false;
    switch (WaitForReady(port, hooks, seen, gone)) {
        case WaitResult::Done:
            break;
        case WaitResult::Stopped:
            return Fail(port, hooks, Outcome::UserStop);
        default:
            if (!gone && exchangeHooks.noAnswer) exchangeHooks.noAnswer(seen);
            return Fail(port, hooks, Outcome::NotFindDevice);
    }
    return ExchangeAfterReady(port, image, length, startAddress, checksum, hooks);
}

Outcome RunNextBoardExchange(SerialPort& port, const uint8_t* image, uint32_t length,
                             uint32_t startAddress, uint16_t checksum,
                             const ExchangeHooks& exchangeHooks, uint32_t quietReads) {
    const Hooks hooks{exchangeHooks};
    switch (WaitForNextBoard(port, hooks, quietReads)) {
        case WaitResult::Done:
            break;
        case WaitResult::Stopped:
            return Fail(port, hooks, Outcome::UserStop);
        default:  // the device is gone: no board will come
            return Fail(port, hooks, Outcome::NotFindDevice);
    }
    return ExchangeAfterReady(port, image, length, startAddress, checksum, hooks);
}
