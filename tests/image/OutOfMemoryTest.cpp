// What the image code does when the heap refuses: every allocation above a
// size fails, the way a real heap does when it is exhausted.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <new>

#include "image/Elf.h"
#include "image/FirmwareFile.h"
#include "image/IntelHex.h"
#include "image/SRecord.h"
#include "tests/image/ElfWriter.h"
#include "tests/image/HexText.h"
#include "tests/support/FailingAllocator.h"

namespace {

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

TEST(ImageOutOfMemory, AnImageTheHeapCannotHoldIsNeverCutShort) {
    // 1 MiB may be had, the 4 MiB image may not: no image at all, not the first records.
    const std::string text =
        Lines({DataRecord(0x0000, {1, 2}), LinearAddress(0x0040), DataRecord(0x0000, {4}),
               LinearAddress(0x0000), DataRecord(0x0010, {5}), kEndOfFile});
    std::vector<uint8_t> buffer = Bytes(text);
    HexResult result;
    {
        test_support::ScopedHeapLimit limit(1 << 20);
        result = ParseIntelHex(buffer);
    }
    EXPECT_EQ(result.status, HexStatus::OutOfMemory);
    EXPECT_TRUE(buffer.empty());
}

TEST(ImageOutOfMemory, FileTooLargeForTheHeapLeavesTheImageUntouched) {
    const auto path = std::filesystem::temp_directory_path() / "kestrune-oom-test.bin";
    {
        std::ofstream out(path, std::ios::binary);
        const std::string bytes(256 * 1024, 'x');
        out << bytes;
    }
    std::vector<uint8_t> image = {7, 7, 7};
    LoadStatus status;
    {
        test_support::ScopedHeapLimit limit(64 * 1024);
        status = LoadFirmwareFile(path, image).status;
    }
    std::filesystem::remove(path);
    EXPECT_EQ(status, LoadStatus::OutOfMemory);
    EXPECT_EQ(image, (std::vector<uint8_t>{7, 7, 7}));
}

#ifndef _WIN32
// A device that never ends is read until the heap (or the 4 GiB limit) says
// no; it is never taken as an empty or a cut-short image.
TEST(ImageOutOfMemory, EndlessDeviceIsOutOfMemoryNotEmpty) {
    std::vector<uint8_t> image = {7};
    LoadStatus status;
    {
        test_support::ScopedHeapLimit limit(8 << 20);
        status = LoadFirmwareFile("/dev/zero", image).status;
    }
    EXPECT_EQ(status, LoadStatus::OutOfMemory);
    EXPECT_EQ(image, (std::vector<uint8_t>{7}));
}
#endif

// A few bytes of text at both ends of the address space: refused with both
// ends named before any allocation, whatever the format. The heap refuses
// more than 200 MB, so an image allocated first would end out of memory.
TEST(ImageOutOfMemory, DataFarApartAreRefusedBeforeTheImageIsAllocated) {
    const std::string far =
        "the data reach from 0x00000000 to 0xFFFFFF00 (4 GiB): a stray "
        "record, or an image that needs --origin?";
    const std::string hex =
        Lines({DataRecord(0, {1}), LinearAddress(0xFFFF), DataRecord(0xFF00, {2}), kEndOfFile});
    const std::string srec =
        Lines({SRecordLine(1, 0, {1}), SRecordLine(3, 0xFFFFFF00, {2}), SRecordLine(7, 0, {})});
    const std::vector<uint8_t> elf = WriteElf({}, {{0, {1}}, {0xFFFFFF00, {2}}});
    const auto parse = [](int format, std::vector<uint8_t> file, ImageOrigin origin) {
        ReaderResult result;
        test_support::ScopedHeapLimit limit(200u << 20);
        if (format == 0) {
            const HexResult read = ParseIntelHex(file, origin);
            result.status = read.status == HexStatus::Damaged ? ReaderStatus::Damaged
                                                              : ReaderStatus::OutOfMemory;
            ImageBuild build{read.damage == HexDamage::TooLong   ? ImageBuild::TooLong
                             : read.damage == HexDamage::TooWide ? ImageBuild::TooWide
                                                                 : ImageBuild::Ok,
                             read.address, 0, read.origin};
            result.reason = ImageRefusal(build);
        } else {
            result = format == 1 ? ParseSRecord(file, origin) : ParseElf(file, origin);
        }
        EXPECT_TRUE(file.empty());
        return result;
    };
    const std::vector<uint8_t> files[] = {Bytes(hex), Bytes(srec), elf};
    for (int format = 0; format < 3; ++format) {
        SCOPED_TRACE(format);
        EXPECT_LT(files[format].size(), 200u);
        ReaderResult result = parse(format, files[format], {});
        EXPECT_EQ(result.status, ReaderStatus::Damaged);
        EXPECT_EQ(result.reason, far);
        // Raised past the span, the limit lets it through to the heap, which refuses.
        result = parse(format, files[format], {false, 0, 4ull << 30});
        EXPECT_EQ(result.status, ReaderStatus::OutOfMemory);
    }
}

// The limit is the span from the origin to the highest byte, inclusive, and
// a span of 4 GiB, one byte more than a 32-bit length, says so.
TEST(ImageOutOfMemory, SpanLimitCountsFromTheOriginToTheHighestByte) {
    const struct {
        uint32_t low, high;
        ImageOrigin origin;
        const char* reason;  // empty: loads
    } cases[] = {
        {0x100, 0x4FF, {false, 0x100, 0x400}, ""},
        {0x100,
         0x500,
         {false, 0x100, 0x400},
         "the data reach from 0x00000100 to 0x00000500 (1 KiB): a stray record, or an image "
         "that needs --origin?"},
        {0x100,
         0x4FF,
         {false, 0, 0x400},
         "the data reach from 0x00000000 to 0x000004FF (1.25 KiB): a stray record, or an "
         "image that needs --origin?"},
        {0x08000000, 0x08000FFF, {true, 0, 0x1000}, ""},
        {0,
         0xFFFFFFFF,
         {false, 0, 4ull << 30},
         "the data reach from 0x00000000 to 0xFFFFFFFF: 4 GiB, one byte more than an image "
         "can hold"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        std::vector<uint8_t> file = Bytes(Lines(
            {SRecordLine(3, c.low, {1}), SRecordLine(3, c.high, {2}), SRecordLine(7, 0, {})}));
        test_support::ScopedHeapLimit limit(1u << 20);
        const ReaderResult result = ParseSRecord(file, c.origin);
        EXPECT_EQ(result.reason, c.reason);
        EXPECT_EQ(result.tooWide, *c.reason != 0);
        const uint32_t first = c.origin.lowest ? c.low : c.origin.address;
        EXPECT_EQ(file.size(), *c.reason ? 0u : c.high + 1 - first);
    }
}

}  // namespace
