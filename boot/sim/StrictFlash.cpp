#include "boot/sim/StrictFlash.h"

#include <avr_flash.h>
#include <sim_cycle_timers.h>
#include <sim_io.h>
#include <sim_time.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kOperationMicroseconds = 4500;
constexpr unsigned kLoggedFaults = 20;     // later ones are only counted
constexpr uint8_t kKeptWhenLapsed = 0xC0;  // SPMIE and RWWSB; the command bits clear
constexpr uint8_t kSignatureRead = 0x20;   // SIGRD

uint16_t Word(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

}  // namespace

bool StrictFlash::Attach(avr_t* chip, uint32_t bootStart, uint32_t rwwEnd) {
    avr = chip;
    for (avr_io_t* io = chip->io_port; io != nullptr; io = io->next)
        if (io->kind != nullptr && std::strcmp(io->kind, "flash") == 0)
            control = reinterpret_cast<avr_flash_t*>(io);  // the io block leads the structure
    if (control == nullptr || control->spm_pagesize == 0) return false;
    boot = bootStart;
    rww = rwwEnd;
    pageSize = control->spm_pagesize;
    buffer.assign(pageSize, 0xFF);
    filled.assign(pageSize / 2, false);
    control->io.ioctl = OnSpm;
    auto& slot = chip->io[AVR_DATA_TO_IO(control->r_spm)].w;
    slot.c = OnControlWrite;
    slot.param = this;
    self = this;
    return true;
}

StrictFlash* StrictFlash::self = nullptr;

void StrictFlash::Reset() {
    avr_cycle_timer_cancel(avr, OnEnableLapsed, this);
    avr_cycle_timer_cancel(avr, OnOperationDone, this);
    busy = rwwLocked = false;
    haltUntil = 0;
    avr->data[control->r_spm] = 0;
    ClearBuffer();
}

void StrictFlash::Fault(const char* what) {
    if (++faults <= kLoggedFaults)
        std::fprintf(stderr, "flash fault at pc 0x%04X (Z 0x%04X, cycle %llu): %s\n",
                     static_cast<unsigned>(avr->pc), static_cast<unsigned>(Word(avr->data + 30)),
                     static_cast<unsigned long long>(avr->cycle), what);
}

void StrictFlash::ClearBuffer() {
    std::fill(buffer.begin(), buffer.end(), uint8_t{0xFF});
    std::fill(filled.begin(), filled.end(), false);
}

int StrictFlash::OnSpm(avr_io_t*, uint32_t ctl, void*) {
    if (ctl != AVR_IOCTL_FLASH_SPM || self == nullptr) return -1;
    self->Spm();
    return 0;
}

// Bits that only the hardware changes keep their value; while an operation
// runs the register cannot be written at all.
void StrictFlash::OnControlWrite(avr_t* avr, avr_io_addr_t addr, uint8_t value, void* param) {
    auto* flash = static_cast<StrictFlash*>(param);
    if (flash->busy) return;
    const uint8_t locked = flash->Bit(flash->control->rwwsb);
    avr->data[addr] = static_cast<uint8_t>((value & ~locked) | (avr->data[addr] & locked));
    avr_cycle_timer_cancel(avr, OnEnableLapsed, flash);
    if (value & flash->Bit(flash->control->selfprgen))
        avr_cycle_timer_register(avr, 4, OnEnableLapsed, flash);
}

// SPM must follow the write that enabled it within four cycles.
avr_cycle_count_t StrictFlash::OnEnableLapsed(avr_t* avr, avr_cycle_count_t, void* param) {
    auto* flash = static_cast<StrictFlash*>(param);
    avr->data[flash->control->r_spm] &= kKeptWhenLapsed;
    return 0;
}

avr_cycle_count_t StrictFlash::OnOperationDone(avr_t* avr, avr_cycle_count_t, void* param) {
    auto* flash = static_cast<StrictFlash*>(param);
    flash->busy = false;
    flash->haltUntil = 0;
    avr->data[flash->control->r_spm] &= static_cast<uint8_t>(
        ~(flash->Bit(flash->control->selfprgen) | flash->Bit(flash->control->pgers) |
          flash->Bit(flash->control->pgwrt)));
    return 0;
}

void StrictFlash::Spm() {
    const avr_flash_t& c = *control;
    const uint32_t pc = avr->pc;
    if (pc < boot) return Fault("SPM outside the boot section does nothing");
    if (busy) return Fault("SPM while a page erase or write is running");
    uint8_t& reg = avr->data[c.r_spm];
    avr_cycle_timer_cancel(avr, OnEnableLapsed, this);
    if (!(reg & Bit(c.selfprgen))) return Fault("SPM without SPMEN set in the four cycles before");
    const uint32_t z = Word(avr->data + 30);
    const uint32_t page = z & ~(pageSize - 1);
    const bool erase = reg & Bit(c.pgers), write = reg & Bit(c.pgwrt);
    if (erase || write) {
        if (z % pageSize != 0) {
            reg &= static_cast<uint8_t>(~(Bit(c.selfprgen) | Bit(c.pgers) | Bit(c.pgwrt)));
            return Fault("page erase or write with Z not at a page boundary");
        }
        if (page >= boot || page + pageSize > avr->flashend + 1) {
            reg &= static_cast<uint8_t>(~(Bit(c.selfprgen) | Bit(c.pgers) | Bit(c.pgwrt)));
            return Fault("page erase or write of the boot section or past the flash");
        }
        for (uint32_t i = 0; i < pageSize; ++i)
            avr->flash[page + i] = erase ? uint8_t{0xFF} : avr->flash[page + i] & buffer[i];
        if (write) ClearBuffer();
        StartOperation(page);
        return;
    }
    reg &= static_cast<uint8_t>(~Bit(c.selfprgen));
    if (reg & Bit(c.rwwsre)) {
        reg &= static_cast<uint8_t>(~(Bit(c.rwwsre) | Bit(c.rwwsb)));
        rwwLocked = false;
        ClearBuffer();
        return;
    }
    if (reg & (Bit(c.blbset) | kSignatureRead)) return;  // lock bits and signature: not modelled
    const uint32_t offset = z & (pageSize - 1) & ~1u;
    if (filled[offset / 2]) return Fault("page buffer word filled twice: the second fill is lost");
    filled[offset / 2] = true;
    buffer[offset] = avr->data[0];
    buffer[offset + 1] = avr->data[1];
}

void StrictFlash::StartOperation(uint32_t page) {
    busy = true;
    const avr_cycle_count_t length = avr_usec_to_cycles(avr, kOperationMicroseconds);
    if (page < rww) {
        rwwLocked = true;
        avr->data[control->r_spm] |= Bit(control->rwwsb);
    } else {
        haltUntil = avr->cycle + length;
    }
    avr_cycle_timer_register(avr, length, OnOperationDone, this);
}

void StrictFlash::CheckLocked() {
    const uint32_t pc = avr->pc;
    if (pc < rww) return Fault("running the application section while it is being programmed");
    const uint16_t op = Word(avr->flash + pc);
    const bool lpm = op == 0x95C8 || (op & 0xFE0E) == 0x9004;
    if (lpm && Word(avr->data + 30) < rww)
        Fault("LPM from the application section while it is being programmed");
}
