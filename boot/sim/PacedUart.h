// UART0 of the simulated chip on a pseudo-terminal, at the line's pace:
// - the host's bytes go onto the simulated line one frame (10 bits) apart,
//   at the host's rate; when the firmware has left two received bytes
//   unread and a third waits in the shift register, the next one is lost
//   and DOR0 is set, as in the real two-level receive buffer;
// - the chip's bytes reach the terminal when their frame has ended on the
//   line, at the rate the firmware set (UBRR0, U2X0), 10 bits each;
// - simavr's sleep while the firmware polls the receiver is switched off.
#pragma once

#include <sim_avr.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <utility>

#include "target/Trace.h"

class PacedUart {
public:
    // `terminal`: the master side of the pseudo-terminal (non-blocking).
    // `hostBaud` 0: the host's bytes come at the chip's own rate.
    // `clock`: simulated time since the start (it runs on across resets); the
    // trace is stamped with it, so its line times are exact whatever the load.
    bool Attach(avr_t* chip, int terminal, unsigned hostBaud, Trace* trace, std::FILE* txLog,
                std::function<Trace::TimePoint()> clock);
    // Moves bytes between the terminal and the line; call often.
    void Service();
    // The chip was reset: the receiver forgets what it held.
    void Reset();
    unsigned long Lost() const { return lost; }
    // Line noise: the `index`th byte from the host (1-based) arrives with bit 4 flipped.
    void CorruptByte(unsigned long index) { corruptAt = index; }

private:
    static avr_cycle_count_t OnFrame(avr_t* avr, avr_cycle_count_t when, void* param);
    static void OnOutput(avr_irq_t* irq, uint32_t value, void* param);

    avr_cycle_count_t Deliver(avr_cycle_count_t when);
    void Log(bool fromHost, uint8_t byte);
    void Flush();  // the chip's bytes whose frames have ended
    double ChipFrameCycles() const;
    unsigned Unread() const;  // bytes in simavr's receive queue
    void MatchChipTiming();

    avr_t* avr = nullptr;
    struct avr_uart_t* uart = nullptr;
    avr_irq_t* input = nullptr;
    int fd = -1;
    unsigned baud = 0;
    Trace* trace = nullptr;
    std::FILE* log = nullptr;
    std::function<Trace::TimePoint()> simulatedTime;

    std::deque<uint8_t> toChip;
    bool feeding = false;
    double frameRemainder = 0;  // fractions of a cycle the host's frames have accumulated
    unsigned unreadAtOverrun = 0;
    unsigned long lost = 0;
    unsigned long received = 0, corruptAt = 0;

    std::deque<std::pair<avr_cycle_count_t, uint8_t>> toHost;  // (cycle its frame ends, byte)
    avr_cycle_count_t lineFree = 0;
};
