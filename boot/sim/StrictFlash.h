// Self-programming of the simulated chip held to the silicon's rules, in
// place of simavr's own, which copies pages, erases from any address and
// takes no time:
// - the page buffer word is filled once; page write ANDs the buffer into
//   flash (a write only clears bits), page erase sets the page to 0xFF;
// - erase and write need a page-aligned Z and take 4.5 ms, during which
//   SPMEN stays set; a page of the read-while-write (application) section
//   sets RWWSB until an RWWSRE operation, a page above it halts the CPU;
// - reading the application section (LPM) or running code there while RWWSB
//   is set, SPM outside the boot section, SPM while busy, or programming
//   the boot section itself are faults: logged to stderr and counted.
#pragma once

#include <sim_avr.h>

#include <cstdint>
#include <vector>

class StrictFlash {
public:
    // Takes over the chip's self-programming. `bootStart`: first byte of the
    // boot section; `rwwEnd`: first byte past the read-while-write section.
    bool Attach(avr_t* chip, uint32_t bootStart, uint32_t rwwEnd);

    // Before each instruction: running or reading the section while it is locked.
    void CheckInstruction() {
        if (rwwLocked) CheckLocked();
    }
    // Cycle until which the CPU stands still (programming the section it runs from).
    avr_cycle_count_t HaltedUntil() const { return haltUntil; }
    // The chip was reset: no operation runs, the buffer is empty.
    void Reset();
    unsigned Faults() const { return faults; }
    // Counts a fault found elsewhere (e.g. the core crashed) and logs it.
    void Fault(const char* what);

private:
    static int OnSpm(avr_io_t* io, uint32_t ctl, void* param);
    static void OnControlWrite(avr_t* avr, avr_io_addr_t addr, uint8_t value, void* param);
    static avr_cycle_count_t OnEnableLapsed(avr_t* avr, avr_cycle_count_t when, void* param);
    static avr_cycle_count_t OnOperationDone(avr_t* avr, avr_cycle_count_t when, void* param);

    void Spm();
    void CheckLocked();
    void StartOperation(uint32_t page);
    void ClearBuffer();
    uint8_t Bit(const avr_regbit_t& bit) const { return static_cast<uint8_t>(1u << bit.bit); }

    static StrictFlash* self;  // the one chip of the process: simavr's SPM hook has no parameter

    avr_t* avr = nullptr;
    struct avr_flash_t* control = nullptr;
    uint32_t boot = 0, rww = 0, pageSize = 0;
    std::vector<uint8_t> buffer;
    std::vector<bool> filled;  // per word of the buffer
    bool busy = false;
    bool rwwLocked = false;
    avr_cycle_count_t haltUntil = 0;
    unsigned faults = 0;
};
