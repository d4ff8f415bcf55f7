/* A probe the harness's own tests run in the boot section: each command byte
 * from the host exercises one rule of the simulated flash or UART and
 * answers with what the chip saw. Not a boot loader. */
#include <avr/boot.h>
#include <avr/io.h>
#include <avr/pgmspace.h>
#include <stdint.h>

#define PAGE 0x0100u /* a page of the application section */

static void Send(uint8_t byte) {
    while (!(UCSR0A & _BV(UDRE0))) {
    }
    UDR0 = byte;
}

static uint8_t Receive(void) {
    while (!(UCSR0A & _BV(RXC0))) {
    }
    return UDR0;
}

static void Settle(void) {
    boot_spm_busy_wait();
    boot_rww_enable();
}

static void Program(uint16_t page, uint16_t word) {
    for (uint16_t i = 0; i < SPM_PAGESIZE; i += 2) boot_page_fill(page + i, word);
    boot_page_write(page);
    Settle();
}

/* About `ms` milliseconds of doing nothing at 16 MHz. */
static void Stall(uint16_t ms) {
    for (volatile uint16_t i = 0; i < ms; ++i)
        for (volatile uint16_t j = 0; j < 1600; ++j) {
        }
}

int main(void) {
    UCSR0A = _BV(U2X0); /* before UBRR0L: the rate is taken when it is written */
    UBRR0H = 0;
    UBRR0L = 16; /* 115200 baud with U2X at 16 MHz */
    UCSR0B = _BV(RXEN0) | _BV(TXEN0);
    Send('!');
    for (;;) {
        const uint8_t command = Receive();
        switch (command) {
            case 'P': /* erase, write, read back: a page of 0..127 */
                boot_page_erase(PAGE);
                Settle();
                for (uint16_t i = 0; i < SPM_PAGESIZE; i += 2)
                    boot_page_fill(PAGE + i, i | (i + 1) << 8);
                boot_page_write(PAGE);
                Settle();
                for (uint16_t i = 0; i < SPM_PAGESIZE; ++i) Send(pgm_read_byte(PAGE + i));
                break;
            case 'C': /* two writes without an erase between: only cleared bits stay */
                boot_page_erase(PAGE);
                Settle();
                Program(PAGE, 0xF0F0);
                Program(PAGE, 0x3C3C);
                Send(pgm_read_byte(PAGE));
                break;
            case 'U': /* an erase at an address inside a page */
                boot_page_erase(PAGE + 2);
                Settle();
                Send('u');
                break;
            case 'L': /* reading the application section while it is erased */
                boot_page_erase(PAGE);
                Send(pgm_read_byte(0));
                Settle();
                break;
            case 'S': /* a slow reader: what is left after 5 ms without reading */
                Stall(5);
                {
                    const uint8_t overrun = UCSR0A & _BV(DOR0) ? 1 : 0;
                    uint8_t count = 0;
                    while (UCSR0A & _BV(RXC0)) {
                        (void)UDR0;
                        ++count;
                    }
                    Send(count);
                    Send(overrun);
                }
                break;
            default:
                Send('?');
        }
    }
}
