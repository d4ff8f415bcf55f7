// The bytes of the serial link as the boot loader sees them.
//   target -> host: A5 5A <code>, code Ready 00, Acknowledge 'A', Refuse 'B',
//                   and after the end frame the verdict 'V' (image verified in
//                   flash) or 'C' (it is not), then the CRC-32 of the image in
//                   flash, 4 bytes big-endian
//   host -> target: after 'V', the reject 5A A5 8F when that CRC-32 is not
//                   the image's: the image is then not taken as valid
//   host -> target: header 5A A5 80 <start:4> <length:4> <checksum:2> 00 00
//                   (big-endian), blocks of at most 128 bytes, end 5A A5 88
// Freestanding: <stdint.h> only.
#pragma once

#include <stdint.h>

namespace kboot {

constexpr uint8_t kTargetLead0 = 0xA5;
constexpr uint8_t kTargetLead1 = 0x5A;
constexpr uint8_t kReady = 0x00;
constexpr uint8_t kAcknowledge = 0x41;
constexpr uint8_t kRefuse = 0x42;
constexpr uint8_t kVerified = 0x56;
constexpr uint8_t kCorrupt = 0x43;

constexpr uint8_t kHostLead0 = 0x5A;
constexpr uint8_t kHostLead1 = 0xA5;
constexpr uint8_t kProgramCommand = 0x80;
constexpr uint8_t kEndCommand = 0x88;
constexpr uint8_t kRejectCommand = 0x8F;  // after Verified: do not take the image as valid

constexpr uint8_t kHeaderSize = 15;
constexpr uint8_t kEndFrameSize = 3;
constexpr uint16_t kBlockSize = 128;

}  // namespace kboot
