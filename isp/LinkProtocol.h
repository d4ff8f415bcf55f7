// Host side of the boot loader's stop-and-wait link protocol.
//   target -> host: Ready A5 5A 00, Acknowledge A5 5A 41
//   host -> target: header 5A A5 80 <start:4> <length:4> <checksum:2> 00 00 (big-endian),
//                   blocks of at most 128 raw bytes, end frame 5A A5 88
#pragma once

#include <cstdint>
#include <functional>

#include "isp/port/SerialPort.h"

enum class Outcome { Success, UserStop, NotFindDevice, Error, ProgramError, ReadTimeOut };

// The outcome's message exactly as the message box shows it, e.g. ".....Success !".
const char* OutcomeMessage(Outcome outcome);

struct ExchangeHooks {
    std::function<bool()> stopRequested;          // the caller's stop test
    std::function<void(uint8_t percent)> progress;  // after every acknowledged block
    std::function<void(const char* message)> message;  // once, with the outcome's message
};

constexpr uint32_t kBlockSize = 128;
constexpr uint32_t kReadyReadLimit = 1001;  // reads before "Not find device"
constexpr uint32_t kAckReadLimit = 1002;    // reads before "Read time out"

// One read step: at most one byte into frame[count]; count grows only when a
// byte arrived and frame[0] is 0xA5 afterwards.
void ReadFrame(SerialPort& port, uint8_t frame[3], uint32_t& count);

// The whole exchange: purge, Ready wait, header, blocks, end frame.
Outcome RunExchange(SerialPort& port, const uint8_t* image, uint32_t length,
                    uint32_t startAddress, uint16_t checksum, const ExchangeHooks& hooks);
