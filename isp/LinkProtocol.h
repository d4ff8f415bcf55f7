// Host side of the boot loader's stop-and-wait link protocol.
//   target -> host: Ready A5 5A 00, Acknowledge A5 5A 41
//   host -> target: header 5A A5 80 <start:4> <length:4> <checksum:2> 00 00 (big-endian),
//                   blocks of at most 128 raw bytes, end frame 5A A5 88
//   target -> host, after the end frame (boot loaders that check the image):
//                   Verified A5 5A 56, Check failed A5 5A 43, each followed by
//                   the CRC-32 of the image in flash (4 bytes, big-endian) from
//                   boot loaders that compute it
//   host -> target, at once after a Verified whose CRC-32 is not the image's:
//                   reject 5A A5 8F
// Every wait is bounded by a count of one-byte reads, not by a clock: with the
// port's 20 ms read time-out, 1001 reads are about 20 s of silence.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "isp/NoAnswer.h"
#include "isp/port/SerialPort.h"

enum class Outcome {
    Success,
    UserStop,
    NotFindDevice,
    Error,
    ProgramError,
    ReadTimeOut,
    VerifyError,  // every block was acknowledged, but the target's check of the image failed
};

// The outcome's message exactly as the message box shows it, e.g. ".....Success !".
const char* OutcomeMessage(Outcome outcome);

// The caller's hooks. An empty stop test never stops; empty sinks are skipped.
struct ExchangeHooks {
    std::function<bool()> stopRequested;            // the caller's stop test
    std::function<void(uint8_t percent)> progress;  // after every acknowledged block
    // With the outcome's message: once, or twice when the target rejects the
    // image it received (".....Success !" as the blocks are done, then
    // ".....Verify Error !" once the verdict has come).
    std::function<void(const char* message)> message;
    // Once, after the end frame, when the target confirmed the image it
    // received: "crc32" when the CRC-32 of its flash that followed its
    // verdict equals the image's, "sum16" when a boot loader that sends no
    // CRC vouched for its 16-bit sum alone.
    std::function<void(const char* check)> verified;
    // Before Verify Error, when the flash's CRC-32 differs from the image's:
    // "the flash differs from the image (CRC-32 ..., expected ...)".
    std::function<void(const std::string& reason)> verifyProblem;
    // Repeat mode's wait for the next board only:
    std::function<void()> announcing;  // a Ready frame that came too soon to be a new board
    std::function<void()> lineQuiet;   // the line was quiet for the gap after such a frame
    // After the Ready frame, before the header is built: may rewrite the image
    // in place (the caller owns its bytes) and the checksum the header carries.
    // False ends the exchange there as a stop (User stop), the header unsent.
    std::function<bool(uint16_t& checksum)> beforeHeader;
    // When the Ready wait ends at its bound (not a stop, not the device gone),
    // before the Not find device message: the bytes the wait read.
    std::function<void(const LineBytes& seen)> noAnswer;
};

constexpr uint32_t kBlockSize = 128;
constexpr uint32_t kReadTimeoutMs = 20;      // every port's one-byte read time-out
constexpr uint32_t kReadyReadLimit = 1001;   // reads before "Not find device"
constexpr uint32_t kAckReadLimit = 1002;     // reads before "Read time out"
constexpr uint32_t kVerdictReadLimit = 10;   // reads after the end frame: about 200 ms
constexpr uint32_t kVerdictNoiseLimit = 64;  // noise bytes before the verdict not counted

constexpr uint32_t kHeaderSize = 15;
constexpr uint32_t kEndFrameSize = 3;
constexpr uint8_t kProgramCommand = 0x80;   // header byte 2
constexpr uint8_t kEndCommand = 0x88;       // end frame byte 2
constexpr uint8_t kReadyCode = 0x00;        // third byte of the target's Ready frame
constexpr uint8_t kAcknowledgeCode = 0x41;  // third byte of the target's Acknowledge frame
constexpr uint8_t kVerifiedCode = 0x56;     // 'V': the received image's sum matched the header
constexpr uint8_t kCheckFailedCode = 0x43;  // 'C': it did not
constexpr uint32_t kCrcReadLimit = 5;       // quiet reads for the CRC-32 after the verdict
constexpr uint8_t kRejectCommand = 0x8F;    // host -> target 5A A5 8F: do not start that image

// One read step: at most one byte into frame[count]; count grows only when a
// byte arrived and frame[0] is 0xA5 afterwards. With count already 3 it reads
// nothing. Returns the read's result.
ReadResult ReadFrame(SerialPort& port, uint8_t frame[3], uint32_t& count);

// The 15-byte header frame for an image of `length` bytes.
void BuildHeader(uint32_t startAddress, uint32_t length, uint16_t checksum,
                 uint8_t header[kHeaderSize]);

// The whole exchange: purge, Ready wait, header, blocks, end frame, verdict.
// Failures purge the port before their message; success sends its message,
// then the end frame, and leaves the port unpurged. After the end frame at
// most kVerdictReadLimit reads wait for one complete frame: Verified calls
// the `verified` hook, Check failed gives Verify Error (its message follows
// the success message; the port is not purged). No frame in time, any other
// frame, or the device gone: Success, unverified. Stop requests are not
// looked at in that short wait. Write results are ignored:
// a lost write shows up as a missing acknowledgement.
// In the Ready wait a complete frame that is not Ready keeps its longest tail
// starting with 0xA5 (A5 A5 5A 00 is a Ready frame after a stray byte). The
// wait for the header's acknowledgement skips whole Ready frames (a target
// that announces itself often may have sent one as the header went out);
// after a block a Ready frame is a wrong reply (the target has reset).
// A port that reports the device gone ends the current wait at once with the
// outcome its bound would give (Not find device, Read time out).
// `image` must hold `length` bytes.
Outcome RunExchange(SerialPort& port, const uint8_t* image, uint32_t length, uint32_t startAddress,
                    uint16_t checksum, const ExchangeHooks& hooks);

// Repeat mode: the same exchange with the next board on a port that stays open.
// Its Ready wait has no read bound (it ends with a Ready frame, a stop or the
// device gone). A board is the first Ready frame to complete after the line
// was quiet for `quietReads` reads in a row (each lasts the read time-out);
// whatever comes between the quiet gap and that frame (noise, a stray 0xA5,
// a frame that is not Ready) is traffic, not a board. A partial frame does not
// outlast the gap: the next frame is judged afresh. A Ready frame with no gap
// before it is a board that keeps announcing after it was flashed: it is not
// taken, and `announcing` is told; `lineQuiet` is told when a gap follows.
// With `quietReads` 0 the first Ready frame is taken.
// Unlike RunExchange it does not purge first: the end frame for the board
// before may still be on its way out, and whatever the line holds is simply
// read, and breaks the quiet. A port that reports the device gone ends the
// wait: Not find device. A failed read counts as quiet but is paced to the
// read time-out, so a port that keeps failing is not polled in a busy loop.
Outcome RunNextBoardExchange(SerialPort& port, const uint8_t* image, uint32_t length,
                             uint32_t startAddress, uint16_t checksum, const ExchangeHooks& hooks,
                             uint32_t quietReads);
