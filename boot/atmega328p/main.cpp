// The ATmega328P boot loader: placed at the boot section (BOOTRST
// programmed), it starts after every reset.
// An application is started through a watchdog reset, so that it finds every
// peripheral as a reset leaves it: the loader arms a start key in SRAM and
// lets the watchdog bite; after that reset the key sends it straight to the
// application once its record still matches the flash.
#include <avr/wdt.h>

#include "boot/atmega328p/ChipPort.h"
#include "boot/core/BootCore.h"

namespace {

uint16_t startKey __attribute__((section(".noinit")));

}  // namespace

uint8_t atmega328p::ChipPort::ring[4 * kPageSize] __attribute__((section(".noinit")));

// The reset entry at the start of the boot section, instead of the C run-time
// start-up and its interrupt vectors (the loader uses no interrupt). Stack and
// interrupts are set again in case an application jumps here. The library's
// start-up pieces (.init1 to .init8: clearing .bss) follow, then main. It
// carries the reset vector's usual symbol, which tools such as simulators
// take as the start of the image.
extern "C" __attribute__((naked, used, section(".init0"))) void BootEntry() asm("__vectors");
extern "C" void BootEntry() {
    asm volatile(
        "cli\n\t"
        "clr __zero_reg__\n\t"
        "out __SREG__, __zero_reg__\n\t"
        "ldi r28, lo8(%0)\n\t"
        "ldi r29, hi8(%0)\n\t"
        "out __SP_H__, r29\n\t"
        "out __SP_L__, r28" ::"i"(RAMEND));
}

extern "C" __attribute__((naked, used, section(".init9"))) void BootMain() {
    asm volatile("rjmp main");
}

void atmega328p::ChipPort::StartApplication() {
    while (!(UCSR0A & _BV(TXC0))) {
    }  // the last frame has left the line
    startKey = kStartKey;
    wdt_enable(WDTO_15MS);
    for (;;) {
    }
}

__attribute__((OS_main)) int main() {
    const uint8_t cause = MCUSR;
    // A watchdog reset leaves the watchdog running: stop it before anything else.
    MCUSR = 0;
    wdt_disable();
    atmega328p::ChipPort port;
    if ((cause & _BV(WDRF)) && startKey == atmega328p::kStartKey) {
        startKey = 0;
        if (kboot::ApplicationValid(port)) asm volatile("jmp 0");
    }
    port.Init();
    kboot::BootCore<atmega328p::ChipPort>(port).Run();
}
