#include "boot/sim/ChipMemory.h"

#include <avr_eeprom.h>
#include <sim_elf.h>
#include <sim_io.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

namespace {

bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool WriteFile(const std::string& path, const uint8_t* bytes, size_t size) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes), static_cast<std::streamsize>(size));
    return static_cast<bool>(out);
}

// The ELF's flash contents, when it fits the chip's flash.
bool ReadElf(const std::string& path, size_t flashSize, elf_firmware_t& firmware) {
    return elf_read_firmware(path.c_str(), &firmware) == 0 && firmware.flash != nullptr &&
           firmware.flashbase + firmware.flashsize <= flashSize;
}

// simavr's own EEPROM, all of it (its ioctl's result says nothing: it is -1 either way).
uint8_t* Eeprom(avr_t* avr) {
    avr_eeprom_desc_t desc{nullptr, 0, 0};
    avr_ioctl(avr, AVR_IOCTL_EEPROM_GET, &desc);
    return desc.ee;
}

}  // namespace

std::optional<uint32_t> LoadMemories(avr_t* avr, const SimOptions& options, std::string& error) {
    const size_t flashSize = avr->flashend + 1;
    if (!options.flashIn.empty()) {
        std::vector<uint8_t> bytes;
        if (!ReadFile(options.flashIn, bytes) || bytes.size() > flashSize) {
            error = options.flashIn + ": missing or larger than the flash";
            return std::nullopt;
        }
        std::memcpy(avr->flash, bytes.data(), bytes.size());
    }
    if (!options.app.empty()) {
        elf_firmware_t app{};
        if (!ReadElf(options.app, flashSize, app)) {
            error = options.app + ": not an application for this chip";
            return std::nullopt;
        }
        std::memcpy(avr->flash + app.flashbase, app.flash, app.flashsize);
    }
    elf_firmware_t loader{};
    if (!ReadElf(options.loader, flashSize, loader) || loader.flashbase == 0) {
        error = options.loader + ": not a boot loader (an ELF file placed in the boot section)";
        return std::nullopt;
    }
    // Only the code: the file's notes on the chip or its clock are not taken.
    std::memcpy(avr->flash + loader.flashbase, loader.flash, loader.flashsize);
    if (!options.eepromIn.empty()) {
        std::vector<uint8_t> bytes;
        uint8_t* eeprom = Eeprom(avr);
        if (!ReadFile(options.eepromIn, bytes) || bytes.size() > avr->e2end + 1u || !eeprom) {
            error = options.eepromIn + ": missing or larger than the EEPROM";
            return std::nullopt;
        }
        std::memcpy(eeprom, bytes.data(), bytes.size());
    }
    return loader.flashbase;
}

bool SaveMemories(avr_t* avr, const SimOptions& options) {
    bool saved = true;
    if (!options.flashOut.empty())
        saved = WriteFile(options.flashOut, avr->flash, avr->flashend + 1u);
    if (!options.eepromOut.empty()) {
        const uint8_t* eeprom = Eeprom(avr);
        saved = eeprom && WriteFile(options.eepromOut, eeprom, avr->e2end + 1u) && saved;
    }
    return saved;
}
