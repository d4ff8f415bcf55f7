/* A Cortex-M firmware in the usual shape: vectors and code in flash at
 * 0x08000000, initialised data copied from flash into RAM at start-up, so the
 * data segment's RAM address and its flash copy differ. */
#include <stdint.h>

extern uint32_t _sidata, _sdata, _edata;
int counter = 5;
const char banner[] = "Kestrune test firmware";
volatile int sink;

void Reset_Handler(void) {
    for (uint32_t *from = &_sidata, *to = &_sdata; to < &_edata;) *to++ = *from++;
    for (;;) sink = counter++ + banner[counter % 20];
}

__attribute__((section(".isr_vector"))) const void* const vectors[] = {(void*)0x20005000,
                                                                          (void*)Reset_Handler};
