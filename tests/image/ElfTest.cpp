// ParseElf: which bytes of which segments make the image, in every class and
// byte order, what it leaves out, and what it refuses.
#include <gtest/gtest.h>

#include "image/Elf.h"
#include "tests/image/ElfWriter.h"

namespace {

ReaderResult Parse(std::vector<uint8_t> file, std::vector<uint8_t>& image,
                   ImageOrigin origin = {}) {
    image = std::move(file);
    return ParseElf(image, origin);
}

// Code at 0x100, initialised data copied at 0x104 (its RAM address elsewhere
// has no say), space with no file bytes, a segment that is not PT_LOAD.
const std::vector<ElfSegment> kFirmware = {
    {0x100, {1, 2, 3, 4}, 0, 1},
    {0x104, {5, 6}, 8, 1},
    {0x200, {}, 64, 1},
    {0x300, {7}, 0, 4},
};

TEST(Elf, LoadableFileBytesLandAtTheirPhysicalAddressInEveryClassAndOrder) {
    for (const bool wide : {false, true}) {
        for (const bool big : {false, true}) {
            SCOPED_TRACE(testing::Message() << (wide ? "64" : "32") << (big ? " big" : " little"));
            std::vector<uint8_t> image;
            const ReaderResult result =
                Parse(WriteElf({wide, big, 40, 0x101}, kFirmware), image, ImageOrigin{true, 0});
            ASSERT_EQ(result.status, ReaderStatus::Whole) << result.reason;
            EXPECT_EQ(image, (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
            EXPECT_EQ(result.entry, 0x101u);
            EXPECT_EQ(result.origin, 0x100u);
            EXPECT_TRUE(result.leftOut.empty());
        }
    }
}

TEST(Elf, AvrSegmentsOutsideProgramMemoryAreLeftOutAndNamed) {
    std::vector<uint8_t> image;
    const ReaderResult result = Parse(
        WriteElf({false, false, 83, 0},
                 {{0, {0x0C, 0x94}}, {0x810000, {1, 2, 3}}, {0x820000, {0xFF}}, {0x840000, {9}}}),
        image);
    ASSERT_EQ(result.status, ReaderStatus::Whole);
    EXPECT_EQ(image, (std::vector<uint8_t>{0x0C, 0x94}));
    EXPECT_EQ(result.leftOut,
              (std::vector<std::string>{"segment 1: 3 bytes at 0x00810000 (EEPROM)",
                                        "segment 2: 1 byte at 0x00820000 (fuses)",
                                        "segment 3: 1 byte at 0x00840000 (signature)"}));
    // The same addresses are plain data for other machines.
    EXPECT_EQ(Parse(WriteElf({}, {{0x810000, {1}}}), image).status, ReaderStatus::Whole);
    EXPECT_EQ(image.size(), 0x810001u);
}

TEST(Elf, DamagedFilesAreRefusedWithAReason) {
    const ElfShape shape;
    const std::vector<uint8_t> good = WriteElf(shape, kFirmware);
    const auto with = [&](size_t at, uint8_t value) {
        std::vector<uint8_t> file = good;
        file[at] = value;
        return file;
    };
    const size_t second = ElfSegmentEntry(shape, 1);
    const struct {
        std::vector<uint8_t> file;
        const char* reason;
    } cases[] = {
        {{}, "not an ELF file"},
        {with(1, 'e'), "not an ELF file"},
        {with(4, 3), "unknown ELF class"},
        {with(5, 0), "unknown ELF byte order"},
        {std::vector<uint8_t>(good.begin(), good.begin() + 40),
         "file too short for its ELF header"},
        {with(42, 8), "bad segment table entry size"},
        {with(44, 200), "segment table runs past the end of the file"},
        {with(second + 16, 0xF0), "segment 1 runs past the end of the file"},  // p_filesz
        {with(second + 20, 1), "segment 1 has more file bytes than memory bytes"},
        {WriteElf({true}, {{0xFFFFFFFF, {1, 2}}}), "segment 0 lies at or above 4 GiB"},
        {WriteElf(shape, {{0x100, {}, 16}}), "no loadable bytes"},
        {WriteElf(shape, {{0x100, {1, 2, 3}}, {0x101, {2, 9}}}),
         "segment 1: 0x00000102 already holds another value"},
    };
    for (const auto& c : cases) {
        std::vector<uint8_t> image;
        const ReaderResult result = Parse(c.file, image);
        EXPECT_EQ(result.status, ReaderStatus::Damaged) << c.reason;
        EXPECT_EQ(result.reason, c.reason);
        EXPECT_EQ(result.line, 0u);
        EXPECT_TRUE(image.empty());
    }
}

}  // namespace
