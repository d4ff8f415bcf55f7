// Any bit rate on Linux through termios2 (BOTHER), for rates such as 14400
// that have no B constant. Kept in its own file: <asm/termbits.h> cannot be
// included together with <termios.h>.
#pragma once

#include <cstdint>

bool SetCustomSpeed(int fd, uint32_t baudRate);

// The output speed the driver reports through termios2; 0 when unknown.
uint32_t GetCustomSpeed(int fd);
