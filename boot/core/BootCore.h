// The boot loader's protocol, independent of the chip. Run() never returns:
// it announces Ready every period, takes a header, programs the image while
// the next block arrives, answers the end frame with a verdict, and starts
// the application when a verified one is in flash.
//
// A Port (one per chip) provides, all without an operating system:
//   kPageSize          flash page size in bytes (a power of two, 64..256)
//   kAppSize           bytes an image may fill, from address 0
//   kRecordAddress     the page holding the application-valid record
//   kTicksPerPeriod    ticks of Ticks() in one announce period (100 ms)
//   kStartWindow       periods without a header before a valid application starts
//   kSilenceLimit      periods without a byte that end a header or a download
//   uint16_t Ticks()                  a free-running counter
//   bool Receive(uint8_t&)            a received byte, never waits
//   void Send(uint8_t)                waits only for room in the transmitter
//   bool FlashBusy()                  an erase or write runs; false also means
//                                     the application area can be read again
//   void StartErase(uint16_t page)    page-aligned, flash idle; returns at once
//   void StartWrite(uint16_t page, const uint8_t* data, uint16_t count)
//                                     count <= kPageSize bytes, the rest of the
//                                     page 0xFF; into an erased page, flash idle
//   uint8_t ReadFlash(uint16_t at)    flash idle
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
    // Room for the page being programmed, the page filling behind it, and a
    // whole block: a block is acknowledged only when it can never overrun.
    static constexpr uint16_t kRingSize = 2 * kPage + (kPage > kBlockSize ? kPage : kBlockSize);
    static_assert(kPage >= 2 && (kPage & (kPage - 1)) == 0, "the page size is a power of two");
    static_assert(kRingSize % kPage == 0, "pages lie whole in the ring");
    static_assert(Port::kAppSize % kPage == 0 && Port::kRecordAddress >= Port::kAppSize &&
                      Port::kRecordAddress % kPage == 0 &&
                      Port::kRecordAddress + kPage <= 0x10000ul,
                  "the record page lies after the application area, in 16-bit addresses");

    explicit BootCore(Port& chip) : port(chip) {}

    void Run() {
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
        uint8_t mustBeZero = static_cast<uint8_t>(header[3] | header[4] | header[5] | header[6] |
                                                  header[7] | header[8] | header[13] | header[14]);
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
    bool AwaitHeader(uint8_t* header, bool mayStart) {
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
            if (have == kHeaderSize) return true;
        }
    }

    // Takes the blocks of an accepted header into a ring and programs whole
    // pages from it while later bytes arrive; every page is read back once
    // written. Returns when the download ends without starting the application.
    void Download(uint16_t length, uint16_t checksum) {
        ClearRecord(port);
        SendFrame(kAcknowledge);

        uint8_t ring[kRingSize];
        uint16_t ringIn = 0;    // where the next received byte goes
        uint16_t ringPage = 0;  // where the page at `done` starts
        uint16_t received = 0;  // image bytes received
        uint16_t issued = 0;    // image bytes whose page programming has started
        uint16_t done = 0;      // image bytes programmed and read back
        bool writing = false;   // the page at `done` is being written, else erased
        bool readBackBad = false;
        bool ackDue = false;
        uint8_t endFrame[kEndFrameSize];
        uint8_t endHave = 0;
        PeriodClock<Port> clock(port);
        uint16_t lastByte = 0;

        for (;;) {
            if (issued != done) {
                if (!port.FlashBusy()) {
                    const uint16_t left = static_cast<uint16_t>(length - done);
                    const uint16_t count = left < kPage ? left : kPage;
                    if (!writing) {
                        port.StartWrite(done, ring + ringPage, count);
                        writing = true;
                    } else {
                        for (uint16_t i = 0; i != count; ++i)
                            if (port.ReadFlash(static_cast<uint16_t>(done + i)) !=
                                ring[ringPage + i])
                                readBackBad = true;
                        done = issued;
                        ringPage = static_cast<uint16_t>(ringPage + kPage);
                        if (ringPage == kRingSize) ringPage = 0;
                        writing = false;
                    }
                }
            } else if (issued != length &&
                       (static_cast<uint16_t>(received - issued) >= kPage || received == length)) {
                port.StartErase(issued);
                const uint16_t left = static_cast<uint16_t>(length - issued);
                issued = static_cast<uint16_t>(issued + (left < kPage ? left : kPage));
            }

            // A block is answered once every page it completed has started.
            const uint16_t mustHaveStarted =
                received == length ? length : static_cast<uint16_t>(received & ~(kPage - 1));
            if (ackDue && issued >= mustHaveStarted) {
                ackDue = false;
                if (readBackBad) {
                    SendFrame(kRefuse);
                    return;
                }
                SendFrame(kAcknowledge);
            }

            if (endHave == kEndFrameSize && done == length) break;

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
            ring[ringIn] = b;
            if (++ringIn == kRingSize) ringIn = 0;
            ++received;
            if (received % kBlockSize == 0 || received == length) ackDue = true;
        }

        const bool good = !readBackBad && endFrame[0] == kHostLead0 && endFrame[1] == kHostLead1 &&
                          endFrame[2] == kEndCommand && FlashSum(port, length) == checksum &&
                          WriteRecord(port, length, checksum);
        SendFrame(good ? kVerified : kCorrupt);
        if (good) port.StartApplication();
    }

    Port& port;
};

}  // namespace kboot
