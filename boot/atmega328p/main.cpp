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

void atmega328p::ChipPort::StartApplication() {
    while (!(UCSR0A & _BV(TXC0))) {
    }  // the last frame has left the line
    startKey = kStartKey;
    wdt_enable(WDTO_15MS);
    for (;;) {
    }
}

int main() {
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
