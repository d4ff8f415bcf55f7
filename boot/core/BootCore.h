// The boot loader's protocol, independent of the chip. Run() never returns:
// it announces Ready every period, takes a header, programs the image while
// the next block arrives, answers the end frame with a verdict and the CRC-32
// of the image in flash, and, unless the host rejects that within the veto
// window, marks the image valid and starts it.
//
// A Port (one per chip) provides, all without an operating system:
//   kPageSize          flash page size in bytes (a power of two, 64..256)
//   kAppSize           bytes an image may fill, from address 0
//   kRecordAddress     the page holding the application-valid record
//   kHaltingFlash      from this address on, an erase or write stops the CPU
//                      until it is done (flash the chip cannot read meanwhile)
//   kTicksPerPeriod    ticks of Ticks() in one announce period (100 ms)
//   kStartWindow       periods without a header before a valid application starts
//   kSilenceLimit      periods without a byte that end a header or a download
//   kVetoTicks         ticks after the verdict in which the host may reject it
//   uint16_t Ticks()                  a free-running counter
//   bool Receive(uint8_t&)            a received byte, never waits
//   void Send(uint8_t)                waits only for room in the transmitter
//   bool FlashBusy()                  an erase or write runs; false also means
//                                     the application area can be read again
//   void StartErase(uint16_t page)    page-aligned, flash idle; returns at once
//   void StartWrite(uint16_t page, const uint8_t* data)
//                                     a whole page into an erased one, flash idle
//   uint8_t ReadFlash(uint16_t at)    flash idle
//   uint8_t* Ring()                   4 * kPageSize bytes of RAM for the download,
//                                     best where no start-up code clears it
//   void StartApplication()           the application from a reset state; no return
// Addresses are 16-bit: an application area of up to 64 KiB less a page.
#pragma once

#include <stdint.h>

#include "boot/core/BootFrames.h"
#include "boot/core/PeriodClock.h"
#include "boot/core/ValidRecord.h"

namespace kboot {

template <class Port>
class BootCore {
public:
    static constexpr uint16_t kPage = Port::kPageSize;
    // Room for the page being programmed, the page filling behind it and a
    // whole block, with a power of two for cheap indexing: a block is
    // acknowledged only when the next one cannot overrun a page not yet read back.
    static constexpr uint16_t kRingSize = 4 * kPage;
    static_assert(kPage >= 64 && kPage <= 256 && (kPage & (kPage - 1)) == 0,
                  "pages of 64, 128 or 256 bytes");
    static_assert(Port::kAppSize % kPage == 0 && Port::kRecordAddress >= Port::kAppSize &&
                      Port::kRecordAddress % kPage == 0 &&
                      Port::kRecordAddress + kPage <= 0x10000ul,
                  "the record page lies after the application area, in 16-bit addresses");

    explicit BootCore(Port& chip) : port(chip) {}

    __attribute__((always_inline)) void Run() {
        bool valid = ApplicationValid(port);
        for (;;) {
            uint8_t header[kHeaderSize];
            if (!AwaitHeader(header, valid)) port.StartApplication();
            uint16_t length = 0;
            uint16_t checksum = 0;
            if (!HeaderAccepted(header, length, checksum)) {
                SendFrame(kRefuse);
                continue;
            }
            Download(length, checksum);  // returns only when no application was started
            valid = false;
        }
    }

    // Checks a complete header frame; on acceptance gives its length and checksum.
    static bool HeaderAccepted(const uint8_t* header, uint16_t& length, uint16_t& checksum) {
        // Start address, the length's top half and the trailing bytes.
        uint8_t mustBeZero = static_cast<uint8_t>(header[13] | header[14]);
        for (uint8_t i = 3; i != 9; ++i) mustBeZero = static_cast<uint8_t>(mustBeZero | header[i]);
        length = static_cast<uint16_t>(header[9] << 8 | header[10]);
        checksum = static_cast<uint16_t>(header[11] << 8 | header[12]);
        return header[2] == kProgramCommand && mustBeZero == 0 && length != 0 &&
               length <= Port::kAppSize;
    }

private:
    void SendFrame(uint8_t code) {
        port.Send(kTargetLead0);
        port.Send(kTargetLead1);
        port.Send(code);
    }

    // Announces until a header arrives (true), or, when an application may
    // start, until the start window has passed with no header begun (false).
    __attribute__((always_inline)) bool AwaitHeader(uint8_t* header, bool mayStart) {
        PeriodClock<Port> clock(port);
        uint8_t have = 0;
        uint16_t lastByte = 0;
        SendFrame(kReady);
        for (;;) {
            uint8_t b = 0;
            if (!port.Receive(b)) {
                if (!clock.Tick()) continue;
                if (have == 0) {
                    if (mayStart && clock.Periods() >= Port::kStartWindow) return false;
                    SendFrame(kReady);
                } else if (static_cast<uint16_t>(clock.Periods() - lastByte) >=
                           Port::kSilenceLimit) {
                    have = 0;  // a header cut short: announce again
                }
                continue;
            }
            lastByte = clock.Periods();
            // Synchronise on 5A A5: anything before it is line noise.
            if (have == 0 && b != kHostLead0) continue;
            if (have == 1 && b != kHostLead1) {
                have = b == kHostLead0 ? 1 : 0;
                continue;
            }
            header[have++] = b;
            if (have < kHeaderSize) continue;
            uint16_t length, checksum;
            if (HeaderAccepted(header, length, checksum)) return true;
            // A refused header may have begun with a stray 5A A5: the real
            // one starts at the next 5A A5 inside it.
            uint8_t from = 1;
            while (from != kHeaderSize &&
                   !(header[from] == kHostLead0 &&
                     (from + 1 == kHeaderSize || header[from + 1] == kHostLead1)))
                ++from;
            if (from == kHeaderSize) return true;  // refused as it stands
            for (have = 0; from != kHeaderSize; ++from) header[have++] = header[from];
        }
    }

    // Takes the blocks of an accepted header into a ring and programs whole
    // pages from it while later bytes arrive; every page is read back once
    // written. Returns when the download ends without starting the application.
    __attribute__((always_inline)) void Download(uint16_t length, uint16_t checksum) {
        ClearRecord(port);
        SendFrame(kAcknowledge);

        // Image byte n at n % kRingSize; the last page is padded with 0xFF.
        uint8_t* const ring = Port::Ring();
        uint16_t received = 0;  // image bytes received
        uint16_t done = 0;      // bytes of whole pages programmed and read back
        uint8_t stage = kIdle;  // of the page at `done`
        uint16_t readBack = 0;  // bytes of that page read back
        bool readBackBad = false;
        // Of the image bytes read back: their CRC-32 (inverted) and 16-bit sum.
        uint32_t crc = 0xFFFFFFFFul;
        uint16_t sum = 0;
        bool ackDue = false;
        uint8_t endFrame[kEndFrameSize];
        uint8_t endHave = 0;
        PeriodClock<Port> clock(port);
        uint16_t lastByte = 0;

        for (;;) {
            uint8_t* const page = ring + (done & (kRingSize - 1));
            // A page whose programming stops the CPU waits for a quiet line: the
            // host waiting for the answer to a block.
            const bool halts = done >= Port::kHaltingFlash;
            if (stage == kIdle) {
                if (done < length && (!halts || ackDue) &&
                    (static_cast<uint16_t>(received - done) >= kPage || received == length)) {
                    port.StartErase(done);
                    stage = kErasing;
                }
            } else if (!port.FlashBusy()) {
                if (stage == kErasing) {
                    port.StartWrite(done, page);
                    stage = kWriting;
                } else {
                    // One byte a turn, so the line is polled between them.
                    const uint16_t at = static_cast<uint16_t>(done + readBack);
                    const uint8_t b = port.ReadFlash(at);
                    if (b != page[readBack]) readBackBad = true;
                    if (at < length) {
                        sum = static_cast<uint16_t>(sum + b);
                        crc = Crc32Step(crc, b);
                    }
                    if (++readBack == kPage) {
                        readBack = 0;
                        done = static_cast<uint16_t>(done + kPage);
                        stage = kIdle;
                    }
                }
            }

            // A block is answered once every page it completed has started, or
            // for a page that stops the CPU, has been programmed.
            uint16_t mustHaveStarted = received;
            if (received != length) mustHaveStarted &= static_cast<uint16_t>(~(kPage - 1));
            const uint16_t started =
                stage == kIdle || halts ? done : static_cast<uint16_t>(done + kPage);
            if (ackDue && started >= mustHaveStarted) {
                ackDue = false;
                if (readBackBad) {
                    SendFrame(kRefuse);
                    return;
                }
                SendFrame(kAcknowledge);
            }

            if (endHave == kEndFrameSize && done >= length) break;

            uint8_t b = 0;
            if (!port.Receive(b)) {
                if (clock.Tick() &&
                    static_cast<uint16_t>(clock.Periods() - lastByte) >= Port::kSilenceLimit)
                    return;  // the host has gone
                continue;
            }
            lastByte = clock.Periods();
            if (received == length) {
                if (endHave < kEndFrameSize) endFrame[endHave++] = b;
                continue;
            }
            if (ackDue) {
                // The host did not wait for the answer: it could overrun the ring.
                SendFrame(kRefuse);
                return;
            }
            ring[received & (kRingSize - 1)] = b;
            ++received;
            if (received % kBlockSize == 0) ackDue = true;
            if (received == length) {
                ackDue = true;
                for (uint16_t pad = received; pad % kPage != 0; ++pad)
                    ring[pad & (kRingSize - 1)] = 0xFF;
            }
        }

        const bool good = !readBackBad && endFrame[0] == kHostLead0 && endFrame[1] == kHostLead1 &&
                          endFrame[2] == kEndCommand && sum == checksum;
        SendFrame(good ? kVerified : kCorrupt);
        crc = ~crc;
        for (uint8_t shift = 32; shift != 0;) {
            shift = static_cast<uint8_t>(shift - 8);
            port.Send(static_cast<uint8_t>(crc >> shift));
        }
        if (!good || Rejected()) return;  // no record: the board announces again
        WriteRecord(port, length, checksum, ring);
        if (ApplicationValid(port)) port.StartApplication();  // the record as written
    }

    // The host's veto: 5A A5 8F within kVetoTicks of the verdict.
    __attribute__((always_inline)) bool Rejected() {
        const uint16_t start = port.Ticks();
        uint8_t have = 0;
        while (static_cast<uint16_t>(port.Ticks() - start) < Port::kVetoTicks) {
            uint8_t b = 0;
            if (!port.Receive(b)) continue;
            const uint8_t next = have == 0 ? kHostLead0 : have == 1 ? kHostLead1 : kRejectCommand;
            have = b == next ? static_cast<uint8_t>(have + 1) : b == kHostLead0 ? 1 : 0;
            if (have == 3) return true;
        }
        return false;
    }

    // One byte into a CRC-32/ISO-HDLC register (reflected, no table).
    static uint32_t Crc32Step(uint32_t crc, uint8_t b) {
        crc ^= b;
        for (uint8_t k = 0; k != 8; ++k) crc = (crc >> 1) ^ (0xEDB88320ul & (0ul - (crc & 1)));
        return crc;
    }

    enum : uint8_t { kIdle, kErasing, kWriting };

    Port& port;
};

}  // namespace kboot
