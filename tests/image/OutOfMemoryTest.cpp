// What the image code does when the heap refuses. Global operator new is
// replaced in this program so that a test can make every allocation above a
// size fail, the way a real heap does when it is exhausted.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <new>

#include "image/FirmwareFile.h"
#include "image/IntelHex.h"
#include "tests/image/HexText.h"

namespace {

size_t allocationLimit = SIZE_MAX;

// Allocations larger than `limit` fail while this lives.
class HeapLimit {
public:
    explicit HeapLimit(size_t limit) { allocationLimit = limit; }
    ~HeapLimit() { allocationLimit = SIZE_MAX; }
    HeapLimit(const HeapLimit&) = delete;
    HeapLimit& operator=(const HeapLimit&) = delete;
};

}  // namespace

void* operator new(size_t size) {
    if (size > allocationLimit) throw std::bad_alloc();
    if (void* block = std::malloc(size ? size : 1)) return block;
    throw std::bad_alloc();
}
void* operator new[](size_t size) {
    return operator new(size);
}
void operator delete(void* block) noexcept {
    std::free(block);
}
void operator delete[](void* block) noexcept {
    std::free(block);
}
void operator delete(void* block, size_t) noexcept {
    std::free(block);
}
void operator delete[](void* block, size_t) noexcept {
    std::free(block);
}

namespace {

std::string Lines(std::initializer_list<std::string> lines) {
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

TEST(ImageOutOfMemory, ImageEndsBeforeTheFirstRecordTheHeapCannotHold) {
    const std::string text = Lines({DataRecord(0x0000, {1, 2}), DataRecord(0x1000, {3}),
                                    LinearAddress(0x0040),  // 4 MiB
                                    DataRecord(0x0000, {4}), LinearAddress(0x0000),
                                    DataRecord(0x0010, {5}), kEndOfFile});
    std::vector<uint8_t> buffer = Bytes(text);
    uint32_t length;
    {
        HeapLimit limit(1 << 20);
        length = ParseIntelHex(buffer);
    }
    // The record at 4 MiB cannot be held, so neither it nor the one after it
    // (which would fit) is placed: as if placed one by one until the heap said no.
    ASSERT_EQ(length, 0x1001u);
    ASSERT_EQ(buffer.size(), 0x1001u);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(buffer[1], 2);
    EXPECT_EQ(buffer[0x10], 0xFF);
    EXPECT_EQ(buffer[0x1000], 3);
}

TEST(ImageOutOfMemory, NoImageAtAllGivesAnEmptyOne) {
    std::vector<uint8_t> buffer = Bytes(Lines({DataRecord(0x2000, {1}), kEndOfFile}));
    HeapLimit limit(0x1000);
    EXPECT_EQ(ParseIntelHex(buffer), 0u);
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
        HeapLimit limit(64 * 1024);
        status = LoadFirmwareFile(path, image);
    }
    std::filesystem::remove(path);
    EXPECT_EQ(status, LoadStatus::OutOfMemory);
    EXPECT_EQ(image, (std::vector<uint8_t>{7, 7, 7}));
}

}  // namespace
