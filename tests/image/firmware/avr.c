/* An AVR firmware with initialised data (copied from flash), EEPROM contents
 * and fuses: the last two are not program memory. */
#include <avr/eeprom.h>
#include <avr/fuse.h>
#include <avr/io.h>

FUSES = {.low = 0xFF, .high = 0xDE, .extended = 0xFD};
uint8_t EEMEM settings[4] = {1, 2, 3, 4};
volatile uint8_t counter = 7;

int main(void) {
    DDRB = 0xFF;
    for (;;) PORTB = counter++;
}
