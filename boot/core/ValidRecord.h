// The application-valid record: the length and checksum of the last image
// whose download was verified, kept in the flash page at Port::kRecordAddress
// (outside the application area) as length and checksum, little-endian.
// An erased page reads length 0xFFFF, which no application area holds, so an
// erased or cleared record never passes.
// The record is cleared before the first page of a download is programmed and
// written only after the whole image has been checked in flash; an
// application is started only while the record's sum matches the flash.
#pragma once

#include <stdint.h>

namespace kboot {

template <class Port>
void WaitFlashIdle(Port& port) {
    while (port.FlashBusy()) {
    }
}

// 16-bit additive sum of flash [0, length). The flash must be idle.
template <class Port>
__attribute__((noinline)) uint16_t FlashSum(Port& port, uint16_t length) {
    uint16_t sum = 0;
    for (uint16_t at = 0; at != length; ++at) sum = static_cast<uint16_t>(sum + port.ReadFlash(at));
    return sum;
}

template <class Port>
uint16_t ReadFlashWord(Port& port, uint16_t at) {
    return static_cast<uint16_t>(port.ReadFlash(at) | port.ReadFlash(static_cast<uint16_t>(at + 1))
                                                          << 8);
}

template <class Port>
bool ApplicationValid(Port& port) {
    WaitFlashIdle(port);
    const uint16_t length = ReadFlashWord(port, Port::kRecordAddress);
    if (length == 0 || length > Port::kAppSize) return false;
    return FlashSum(port, length) ==
           ReadFlashWord(port, static_cast<uint16_t>(Port::kRecordAddress + 2));
}

template <class Port>
void ClearRecord(Port& port) {
    WaitFlashIdle(port);
    port.StartErase(Port::kRecordAddress);
    WaitFlashIdle(port);
}

// Writes into a record cleared by ClearRecord, through `page` (kPageSize
// bytes of scratch). ApplicationValid reads it back.
template <class Port>
void WriteRecord(Port& port, uint16_t length, uint16_t checksum, uint8_t* page) {
    for (uint16_t i = 4; i != Port::kPageSize; ++i) page[i] = 0xFF;
    page[0] = static_cast<uint8_t>(length);
    page[1] = static_cast<uint8_t>(length >> 8);
    page[2] = static_cast<uint8_t>(checksum);
    page[3] = static_cast<uint8_t>(checksum >> 8);
    WaitFlashIdle(port);
    port.StartWrite(Port::kRecordAddress, page);
    WaitFlashIdle(port);
}

}  // namespace kboot
