// Loading firmware files: which names are Intel HEX, and what a load gives.
#include <gtest/gtest.h>

#include <fstream>

#include "image/FirmwareFile.h"
#include "image/IntelHex.h"
#include "tests/image/HexText.h"

namespace fs = std::filesystem;

namespace {

TEST(FirmwareFile, HexExtensionIsTheTextAfterTheLastDotInAnyCase) {
    for (const char* name :
         {"a.hex", "A.HEX", "b.Hex", "c.hEx", "dir.bin/d.hex", "x.y.HEX", ".hex"}) {
        EXPECT_TRUE(HasHexExtension(name)) << name;
    }
    for (const char* name : {"a.hex.bak", "a.ihx", "a.bin", "a", "hex", "a.hexx", "a.he", "a.hex.",
                             "dir.hex/a", "a_hex", ""}) {
        EXPECT_FALSE(HasHexExtension(name)) << name;
    }
    EXPECT_TRUE(HasHexExtension(fs::path(u8"f\u00fcr-\u20ac.HEX")));
}

class FirmwareFileLoad : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() / (std::string("kestrune-image-") + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    fs::path Write(const fs::path& name, const std::string& bytes) {
        const fs::path path = dir / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }

    fs::path dir;
    const std::string hexText = DataRecord(0x10, {0xAA, 0xBB}) + "\r\n" + kEndOfFile + "\r\n";
};

TEST_F(FirmwareFileLoad, HexFilesAreConvertedOtherFilesTakenAsTheyAre) {
    std::vector<uint8_t> image;
    ASSERT_EQ(LoadFirmwareFile(Write("fw.HEX", hexText), image), LoadStatus::Ok);
    std::vector<uint8_t> expected(0x12, 0xFF);
    expected[0x10] = 0xAA;
    expected[0x11] = 0xBB;
    EXPECT_EQ(image, expected);  // the image length, not the text's

    for (const char* raw : {"fw.hex.bak", "fw.ihx", "fw"}) {
        ASSERT_EQ(LoadFirmwareFile(Write(raw, hexText), image), LoadStatus::Ok) << raw;
        EXPECT_EQ(image, Bytes(hexText)) << raw;
    }

    ASSERT_EQ(LoadFirmwareFile(Write("three.bin", std::string("\x01\x02\xFF", 3)), image),
              LoadStatus::Ok);
    EXPECT_EQ(image, (std::vector<uint8_t>{0x01, 0x02, 0xFF}));
    EXPECT_EQ(ImageChecksum(image.data(), image.size()), 0x0102);

    // Every byte value, zeros included, survives a raw load.
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(char(i));
    ASSERT_EQ(LoadFirmwareFile(Write("all.bin", all), image), LoadStatus::Ok);
    EXPECT_EQ(image, Bytes(all));
}

TEST_F(FirmwareFileLoad, EmptyFilesLoadAsEmptyImages) {
    std::vector<uint8_t> image = {1};
    ASSERT_EQ(LoadFirmwareFile(Write("empty.bin", ""), image), LoadStatus::Ok);
    EXPECT_TRUE(image.empty());
    image = {1};
    ASSERT_EQ(LoadFirmwareFile(Write("empty.hex", ""), image), LoadStatus::Ok);
    EXPECT_TRUE(image.empty());
}

TEST_F(FirmwareFileLoad, UnreadablePathsLeaveTheImageAlone) {
    std::vector<uint8_t> image = {1, 2, 3};
    EXPECT_EQ(LoadFirmwareFile(dir / "missing.hex", image), LoadStatus::CannotOpen);
    EXPECT_EQ(LoadFirmwareFile(dir, image), LoadStatus::CannotOpen);  // a directory
    EXPECT_EQ(image, (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(FirmwareFileLoad, NamesWithAnyCharactersLoad) {
    std::vector<uint8_t> image;
    const fs::path path = Write(fs::path(u8"f\u00fcr-\u20ac-\u6a5f.hex"), hexText);
    ASSERT_TRUE(fs::exists(path));
    ASSERT_EQ(LoadFirmwareFile(path, image), LoadStatus::Ok);
    EXPECT_EQ(image.size(), 0x12u);
}

}  // namespace
