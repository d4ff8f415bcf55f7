// The boot loader's port to the ATmega328P at F_CPU (16 MHz): USART0 polled
// at KESTRUNE_BOOT_BAUD with U2X, Timer1 at F_CPU/1024 as the time base, and
// self-programming of the application section through avr-libc's <avr/boot.h>.
// The boot section (0x7800, 2 KiB) keeps running while the application
// section (read-while-write) erases or writes, so nothing here waits for the
// flash except the record's two short operations.
// Flash map: application 0x0000-0x777F, the valid record page 0x7780-0x77FF,
// this loader 0x7800-0x7FFF; from 0x7000 on the CPU stops while a page is
// erased or written.
#pragma once

#include <avr/boot.h>
#include <avr/io.h>
#include <avr/pgmspace.h>
#include <stdint.h>

#ifndef KESTRUNE_BOOT_BAUD
#define KESTRUNE_BOOT_BAUD 115200
#endif
#ifndef KESTRUNE_BOOT_WINDOW_MS
#define KESTRUNE_BOOT_WINDOW_MS 1000
#endif
#ifndef KESTRUNE_BOOT_SILENCE_MS
#define KESTRUNE_BOOT_SILENCE_MS 2000
#endif
#ifndef KESTRUNE_BOOT_VETO_MS
#define KESTRUNE_BOOT_VETO_MS 50
#endif

namespace atmega328p {

// SRAM that no start-up code clears: a watchdog reset carries the request to
// start the application through it.
constexpr uint16_t kStartKey = 0x5AA5;

struct ChipPort {
    static constexpr uint16_t kPageSize = SPM_PAGESIZE;
    static constexpr uint16_t kRecordAddress = 0x7800 - SPM_PAGESIZE;
    static constexpr uint16_t kAppSize = kRecordAddress;
    // The no-read-while-write section: its 4 KiB at the end of flash are
    // fixed, whatever BOOTSZ says, and programming them halts the CPU.
    static constexpr uint16_t kHaltingFlash = 0x7000;
    static constexpr uint16_t kTicksPerPeriod = F_CPU / 1024 / 10;
    static constexpr uint16_t kStartWindow = (KESTRUNE_BOOT_WINDOW_MS + 99) / 100;
    static constexpr uint16_t kSilenceLimit = (KESTRUNE_BOOT_SILENCE_MS + 99) / 100;
    static constexpr uint16_t kVetoTicks = F_CPU / 1024 * KESTRUNE_BOOT_VETO_MS / 1000;
    static_assert(F_CPU / 1024 / 10 < 0x8000, "a period fits the 16-bit timer");

    // Every register the loader relies on is set whole: an application that
    // jumps in may have left Timer1 in a PWM mode or the USART framed otherwise.
    static void Init() {
        TIMSK1 = 0;
        TCCR1A = 0;  // normal mode: TCNT1 counts freely to 0xFFFF
        TCCR1C = 0;
        UCSR0C = _BV(UCSZ01) | _BV(UCSZ00);  // asynchronous 8N1
        // UCSR0A first: the divider is latched when UBRR0L is written.
        UCSR0A = _BV(U2X0);
        constexpr uint32_t divider =
            (F_CPU + 4ul * KESTRUNE_BOOT_BAUD) / (8ul * KESTRUNE_BOOT_BAUD) - 1;
        static_assert(divider < 4096, "the baud rate is within the divider's range");
        UBRR0H = static_cast<uint8_t>(divider >> 8);
        UBRR0L = static_cast<uint8_t>(divider);
        UCSR0B = _BV(RXEN0) | _BV(TXEN0);  // whole: no USART interrupt, 8-bit frames
        TCCR1B = _BV(CS12) | _BV(CS10);
    }

    static uint16_t Ticks() { return TCNT1; }

    static bool Receive(uint8_t& byte) {
        if (!(UCSR0A & _BV(RXC0))) return false;
        byte = UDR0;
        return true;
    }

    static void Send(uint8_t byte) {
        while (!(UCSR0A & _BV(UDRE0))) {
        }
        UCSR0A = _BV(U2X0) | _BV(TXC0);  // TXC0 is cleared by writing one
        UDR0 = byte;
    }

    static bool FlashBusy() {
        if (boot_spm_busy()) return true;
        if (!boot_rww_busy()) return false;
        boot_rww_enable();
        return true;
    }

    static void StartErase(uint16_t page) { boot_page_erase(page); }

    static void StartWrite(uint16_t page, const uint8_t* data) {
        for (uint8_t i = 0; i != kPageSize / 2; ++i, data += 2)
            boot_page_fill(page + 2 * i, static_cast<uint16_t>(data[1] << 8 | data[0]));
        boot_page_write(page);
    }

    static uint8_t ReadFlash(uint16_t at) { return pgm_read_byte(at); }

    // At a fixed address, in .noinit: a reset into the loader leaves the
    // application's RAM there as it was until a download overwrites it.
    static uint8_t* Ring() { return ring; }
    static uint8_t ring[4 * kPageSize];

    [[noreturn]] static void StartApplication();
};

}  // namespace atmega328p
