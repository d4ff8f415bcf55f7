// Firmware built by real toolchains (arm-none-eabi-gcc, avr-gcc), read as ELF
// and through objcopy's S-record and Intel HEX output: the three readers give
// one image, and srec_cat makes the same image from the HEX and S-record files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "image/FirmwareFile.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

const fs::path kSources = fs::path(KESTRUNE_SOURCE_DIR) / "tests/image/firmware";

struct Toolchain {
    const char* name;
    std::string build;    // compiles and links $src into fw.elf
    std::string objcopy;  // the toolchain's objcopy and what it leaves out
    uint32_t lowest;
    size_t leftOut;  // segments the ELF reader leaves out
};

void PrintTo(const Toolchain& toolchain, std::ostream* out) {
    *out << toolchain.name;
}

class ToolchainFiles : public ::testing::TestWithParam<Toolchain> {
protected:
    void Run(const std::string& command) {
        const std::string line = "cd '" + dir.string() + "' && " + command + " 2>>log";
        ASSERT_EQ(std::system(line.c_str()), 0) << command;
    }

    std::vector<uint8_t> Read(const fs::path& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    test_support::TempFolder folder{"kestrune-toolchain"};
    const fs::path dir = folder.Path();
};

TEST_P(ToolchainFiles, ElfHexAndSRecordGiveOneImage) {
    const Toolchain& t = GetParam();
    Run(t.build);
    Run(t.objcopy + " -O ihex fw.elf fw.hex");
    Run(t.objcopy + " -O srec fw.elf fw.srec");
    std::vector<FirmwareLoad> loads;
    std::vector<std::vector<uint8_t>> images;
    for (const char* name : {"fw.elf", "fw.hex", "fw.srec"}) {
        std::vector<uint8_t> image;
        loads.push_back(LoadFirmwareFile(dir / name, image, ImageOrigin{true, 0}));
        ASSERT_EQ(loads.back().status, LoadStatus::Ok) << name << ": " << loads.back().read.reason;
        EXPECT_EQ(loads.back().read.origin, t.lowest) << name;
        images.push_back(std::move(image));
    }
    ASSERT_GT(images[0].size(), 16u);
    EXPECT_EQ(images[1], images[0]) << "HEX";
    EXPECT_EQ(images[2], images[0]) << "S-record";
    EXPECT_EQ(loads[0].read.entry, loads[2].read.entry);
    EXPECT_EQ(loads[0].read.leftOut.size(), t.leftOut);

    const std::string offset = std::to_string(t.lowest);
    Run("srec_cat fw.hex -intel -offset -" + offset + " -o hex.bin -binary");
    Run("srec_cat fw.srec -motorola -offset -" + offset + " -o srec.bin -binary");
    EXPECT_EQ(Read(dir / "hex.bin"), images[0]);
    EXPECT_EQ(Read(dir / "srec.bin"), images[0]);
}

INSTANTIATE_TEST_SUITE_P(
    Firmware, ToolchainFiles,
    ::testing::Values(Toolchain{"CortexM",
                                "arm-none-eabi-gcc -mcpu=cortex-m3 -mthumb -Os -nostdlib -T '" +
                                    (kSources / "cortex-m.ld").string() + "' '" +
                                    (kSources / "cortex-m.c").string() + "' -o fw.elf",
                                "arm-none-eabi-objcopy", 0x08000000, 0},
                      Toolchain{"Avr",
                                "avr-gcc -mmcu=atmega328p -Os '" + (kSources / "avr.c").string() +
                                    "' -o fw.elf",
                                "avr-objcopy -R .eeprom -R .fuse", 0, 2}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
