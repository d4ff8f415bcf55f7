// The test application: it greets on USART0 at the boot loader's baud rate
// every half second, so a test sees that a downloaded image really runs.
#include <avr/io.h>
#include <stdint.h>
#include <util/delay.h>

#ifndef KESTRUNE_BOOT_BAUD
#define KESTRUNE_BOOT_BAUD 115200
#endif

namespace {

const char kGreeting[] = "Hello from Kestrune\r\n";

void Send(uint8_t byte) {
    while (!(UCSR0A & _BV(UDRE0))) {
    }
    UDR0 = byte;
}

}  // namespace

int main() {
    UCSR0A = _BV(U2X0);  // before UBRR0L, which latches the divider
    constexpr uint32_t divider =
        (F_CPU + 4ul * KESTRUNE_BOOT_BAUD) / (8ul * KESTRUNE_BOOT_BAUD) - 1;
    UBRR0H = static_cast<uint8_t>(divider >> 8);
    UBRR0L = static_cast<uint8_t>(divider);
    UCSR0B = _BV(TXEN0);
    for (;;) {
        for (const char* c = kGreeting; *c; ++c) Send(static_cast<uint8_t>(*c));
        _delay_ms(500);
    }
}
