// What the image code does when the heap refuses: every allocation above a
// size fails, the way a real heap does when it is exhausted.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <new>

#include "image/FirmwareFile.h"
#include "image/IntelHex.h"
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

}  // namespace
