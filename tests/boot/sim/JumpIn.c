/* An application that enters the boot loader by a jump, after leaving
 * Timer1 in 8-bit PWM mode (TCCR1A = 1: TCNT1 counts to 0xFF and back) and
 * the USART with its receive interrupt enabled: the loader must still time
 * its periods and take a download. */
#include <avr/io.h>

int main(void) {
    TCCR1A = _BV(WGM10);
    TCCR1B = _BV(CS10);
    UCSR0B = _BV(RXCIE0) | _BV(TXEN0);
    __asm__ __volatile__("jmp 0x7800");
    for (;;) {
    }
}
