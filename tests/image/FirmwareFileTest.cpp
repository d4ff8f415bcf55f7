// Loading firmware files: which names are Intel HEX, and what a load gives.
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <thread>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "image/FirmwareFile.h"
#include "image/ImageChecksum.h"
#include "tests/image/HexText.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

TEST(FirmwareFile, TheExtensionAfterTheLastDotChoosesTheFormatInAnyCase) {
    const struct {
        FileFormat format;
        std::vector<const char*> names;
    } cases[] = {
        {FileFormat::IntelHex,
         {"a.hex", "A.HEX", "b.Hex", "dir.bin/d.hex", "x.y.HEX", ".hex", "a.ihx", "a.IHEX"}},
        {FileFormat::SRecord, {"a.s19", "a.S28", "a.s37", "a.srec", "a.MOT", "a.sx"}},
        {FileFormat::Elf, {"a.elf", "a.AXF"}},
        {FileFormat::Raw,
         {"a.hex.bak", "a.bin", "a", "hex", "a.hexx", "a.he", "a.hex.", "dir.hex/a", "a_hex", "",
          "a.s1", "a.s19x", "a.elf.map", "a.o"}},
    };
    for (const auto& c : cases)
        for (const char* name : c.names) EXPECT_EQ(FormatOf(name), c.format) << name;
    EXPECT_EQ(FormatOf(fs::path(u8"f\u00fcr-\u20ac.HEX")), FileFormat::IntelHex);
    EXPECT_EQ(FormatOf(fs::path(u8"f.\u00e9lf")), FileFormat::Raw);
}

class FirmwareFileLoad : public ::testing::Test {
protected:
    fs::path Write(const fs::path& name, const std::string& bytes) {
        return folder.Write(name, bytes);
    }

    test_support::TempFolder folder{"kestrune-image"};
    const fs::path dir = folder.Path();
    const std::string hexText = DataRecord(0x10, {0xAA, 0xBB}) + "\r\n" + kEndOfFile + "\r\n";
};

TEST_F(FirmwareFileLoad, HexFilesAreConvertedOtherFilesTakenAsTheyAre) {
    std::vector<uint8_t> image;
    ASSERT_EQ(LoadFirmwareFile(Write("fw.HEX", hexText), image).status, LoadStatus::Ok);
    std::vector<uint8_t> expected(0x12, 0xFF);
    expected[0x10] = 0xAA;
    expected[0x11] = 0xBB;
    EXPECT_EQ(image, expected);  // the image length, not the text's

    for (const char* raw : {"fw.hex.bak", "fw.hx", "fw"}) {
        ASSERT_EQ(LoadFirmwareFile(Write(raw, hexText), image).status, LoadStatus::Ok) << raw;
        EXPECT_EQ(image, Bytes(hexText)) << raw;
    }

    ASSERT_EQ(LoadFirmwareFile(Write("three.bin", std::string("\x01\x02\xFF", 3)), image).status,
              LoadStatus::Ok);
    EXPECT_EQ(image, (std::vector<uint8_t>{0x01, 0x02, 0xFF}));
    EXPECT_EQ(ImageChecksum(image.data(), image.size()), 0x0102);

    // Every byte value, zeros included, survives a raw load.
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(char(i));
    ASSERT_EQ(LoadFirmwareFile(Write("all.bin", all), image).status, LoadStatus::Ok);
    EXPECT_EQ(image, Bytes(all));
}

TEST_F(FirmwareFileLoad, EmptyFilesLoadAsEmptyImagesOnlyWhenRaw) {
    std::vector<uint8_t> image = {1};
    ASSERT_EQ(LoadFirmwareFile(Write("empty.bin", ""), image).status, LoadStatus::Ok);
    EXPECT_TRUE(image.empty());
    for (const char* name : {"empty.hex", "empty.s19", "empty.elf"}) {
        image = {1};
        EXPECT_EQ(LoadFirmwareFile(Write(name, ""), image).status, LoadStatus::Damaged) << name;
        EXPECT_EQ(image, std::vector<uint8_t>{1});
    }
}

#ifdef __linux__
// /proc files report a length of 0 and hold more.
TEST_F(FirmwareFileLoad, RegularFilesAreReadPastTheirReportedLength) {
    std::vector<uint8_t> image;
    ASSERT_EQ(LoadFirmwareFile("/proc/self/status", image).status, LoadStatus::Ok);
    EXPECT_EQ(std::string(image.begin(), image.begin() + 5), "Name:");
}
#endif

// Every format carrying addresses, with the origin at, below and above its data.
TEST_F(FirmwareFileLoad, TheOriginAppliesToEveryFormatWithAddressesButRaw) {
    const std::string srec = "S1050010AABB85\n";
    for (const char* name : {"fw.hex", "fw.s19", "fw.bin"}) {
        const fs::path file = Write(name, std::string(name).ends_with("hex") ? hexText : srec);
        std::vector<uint8_t> image;
        FirmwareLoad load = LoadFirmwareFile(file, image, ImageOrigin{false, 0x10});
        ASSERT_EQ(load.status, LoadStatus::Ok) << name;
        if (load.format == FileFormat::Raw) {
            EXPECT_EQ(image.size(), srec.size());
            EXPECT_FALSE(load.read.range);
            continue;
        }
        EXPECT_EQ(image, (std::vector<uint8_t>{0xAA, 0xBB})) << name;
        EXPECT_EQ(load.read.range->low, 0x10u);
        EXPECT_EQ(load.read.range->high, 0x11u);
        load = LoadFirmwareFile(file, image, ImageOrigin{false, 0x11});
        EXPECT_EQ(load.status, LoadStatus::Damaged);
        EXPECT_EQ(load.read.reason, "data at 0x00000010 lies below the origin 0x00000011");
    }
}

TEST_F(FirmwareFileLoad, FailedLoadsSayWhyAndLeaveTheImageAlone) {
    std::vector<uint8_t> image = {1, 2, 3};
    FirmwareLoad load = LoadFirmwareFile(dir / "missing.hex", image);
    EXPECT_EQ(load.status, LoadStatus::CannotOpen);
    EXPECT_EQ(load.error, ENOENT);
    load = LoadFirmwareFile(dir, image);  // a directory
    EXPECT_EQ(load.status, LoadStatus::CannotOpen);
    EXPECT_EQ(load.error, EISDIR);

    load = LoadFirmwareFile(Write("bad.hex", ":0100000001FF\r\n" + hexText), image);
    EXPECT_EQ(load.status, LoadStatus::Damaged);
    EXPECT_EQ(load.read.reason, "checksum mismatch");
    EXPECT_EQ(load.read.line, 1u);
    EXPECT_EQ(image, (std::vector<uint8_t>{1, 2, 3}));
}

#ifndef _WIN32
// A pipe has no length to ask for: it is read until its writer closes it.
TEST_F(FirmwareFileLoad, PipesAreReadToTheirEnd) {
    const fs::path fifo = dir / "pipe.hex";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string text;
    for (uint32_t a = 0; a < 0x30000; a += 16) {  // about 0.5 MB of text, several reads
        if (a % 0x10000 == 0) text += LinearAddress(uint16_t(a >> 16)) + "\n";
        text += DataRecord(uint16_t(a), std::vector<uint8_t>(16, uint8_t(a >> 4))) + "\n";
    }
    std::thread writer([&] { std::ofstream(fifo, std::ios::binary) << text; });
    std::vector<uint8_t> image;
    const FirmwareLoad load = LoadFirmwareFile(fifo, image);
    writer.join();
    ASSERT_EQ(load.status, LoadStatus::Ok);
    ASSERT_EQ(image.size(), 0x30000u);
    EXPECT_EQ(image[0x12340], 0x34);
    EXPECT_EQ(image[0x2FEF0], 0xEF);
}
#endif

TEST_F(FirmwareFileLoad, NamesWithAnyCharactersLoad) {
    std::vector<uint8_t> image;
    const fs::path path = Write(fs::path(u8"f\u00fcr-\u20ac-\u6a5f.hex"), hexText);
    ASSERT_TRUE(fs::exists(path));
    ASSERT_EQ(LoadFirmwareFile(path, image).status, LoadStatus::Ok);
    EXPECT_EQ(image.size(), 0x12u);
}

}  // namespace
