// The boot loader's core on a fake chip with pages of 64, 128 and 256 bytes.
// Every case also requires a clean run: no receiver overrun, no flash
// operation the silicon would refuse.
#include <gtest/gtest.h>

#include "boot/core/BootCore.h"
#include "tests/boot/FakeChip.h"

namespace {

using boot_test::HostPlan;
constexpr uint8_t kAck = 0x41, kRefuse = 0x42, kVerified = 0x56, kCorrupt = 0x43;

std::vector<uint8_t> Image(size_t size, uint8_t seed = 1) {
    std::vector<uint8_t> image(size);
    for (size_t i = 0; i < size; ++i) image[i] = uint8_t((i * 7 + seed) & 0xFE);  // bit 0 clear
    return image;
}

template <class Chip>
struct BootCoreTest : testing::Test {
    Chip chip;

    // True when the application was started, false when the time ran out.
    bool Run() {
        try {
            kboot::BootCore<Chip>(chip).Run();
        } catch (boot_test::AppStarted&) {
            EXPECT_TRUE(kboot::ApplicationValid(chip));
            return true;
        } catch (boot_test::TimeUp&) {
        }
        return false;
    }
    void TearDown() override { EXPECT_EQ(chip.faults, std::vector<std::string>{}); }
};
using PageSizes =
    testing::Types<boot_test::FakeChip<64>, boot_test::FakeChip<128>, boot_test::FakeChip<256>>;
TYPED_TEST_SUITE(BootCoreTest, PageSizes);

// A download lands byte for byte with the rest of its last page erased, is
// verified and started; the old record goes before any page is touched.
TYPED_TEST(BootCoreTest, DownloadIsVerifiedAndStarted) {
    for (size_t size : {1, 127, 128, 300, int(TypeParam::kAppSize)}) {
        auto& chip = this->chip = TypeParam();
        chip.Program(Image(TypeParam::kAppSize, 9), TypeParam::kAppSize);
        chip.plans = {{Image(size)}};
        ASSERT_TRUE(this->Run()) << size;
        std::vector<uint8_t> replies((size + 127) / 128 + 1, kAck);
        replies.push_back(kVerified);
        EXPECT_EQ(chip.replies, replies);
        EXPECT_EQ(chip.crcs, std::vector<uint32_t>{ImageCrc32(Image(size).data(), size)});
        auto expected = Image(size);
        expected.resize((size + TypeParam::kPageSize - 1) & ~(TypeParam::kPageSize - 1u), 0xFF);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), chip.flash.begin())) << size;
        EXPECT_EQ(chip.erased.front(), TypeParam::kRecordAddress);
    }
}

// Refused headers touch no flash; the loader announces again and still
// starts the application it holds once the window has passed.
TYPED_TEST(BootCoreTest, BadHeaderIsRefused) {
    const std::pair<int, uint8_t> damage[] = {
        {2, 0x81}, {3, 1}, {6, 1},  {7, 1}, {8, 1},
        {9, 0x21}, {9, 0}, {13, 1}, {14, 1}};  // 9/0: length 0
    for (auto [offset, value] : damage) {
        auto& chip = this->chip = TypeParam();
        chip.Program(Image(100), 100);
        HostPlan plan{Image(256)};
        plan.header = test_support::DownloadHeader(plan.image);
        plan.header[size_t(offset)] = value;
        chip.plans = {plan};
        EXPECT_TRUE(this->Run()) << offset;
        EXPECT_EQ(chip.replies, std::vector<uint8_t>{kRefuse});
        EXPECT_TRUE(chip.erased.empty());
    }
}

// Start-up: Ready every period; a verified application starts after the
// window, any other record announces for ever.
TYPED_TEST(BootCoreTest, OnlyAVerifiedApplicationStarts) {
    for (uint16_t recordLength : {100, 99, 0, 0xFFFF, TypeParam::kAppSize + 1}) {
        auto& chip = this->chip = TypeParam();
        chip.Program(Image(100), recordLength);
        chip.deadline = 5'000'000;
        const bool starts = recordLength == 100;
        EXPECT_EQ(this->Run(), starts) << recordLength;
        EXPECT_EQ(chip.readyTimes.size(), starts ? 10u : 50u);
        for (size_t i = 1; i < chip.readyTimes.size(); ++i)
            EXPECT_NEAR(double(chip.readyTimes[i] - chip.readyTimes[i - 1]), 100'000, 100);
    }
}

// A download cut anywhere or failing a check leaves no valid record and a
// loader that announces and takes the next download.
TYPED_TEST(BootCoreTest, FailedDownloadLeavesALoader) {
    const auto image = Image(1000);  // 8 blocks
    const int lastPage = 999 / TypeParam::kPageSize;
    const struct {
        HostPlan plan;
        int stuckPage;
        uint8_t lastReply;
    } cases[] = {
        {{image, 0}, -1, kAck},  // cut after the header, in the image, before the end frame
        {{image, 4}, -1, kAck},
        {{image, 8}, -1, kAck},
        {{image, -1, 3}, -1, kCorrupt},  // a block damaged on the wire
        {{image, -1, 8}, -1, kCorrupt},
        {{image, -1, -1, {}, 0x89}, -1, kCorrupt},  // a wrong end frame
        {{image}, 0, kRefuse},                      // a page that reads back wrong
        {{image}, lastPage, kCorrupt},
    };
    for (const auto& c : cases) {
        auto& chip = this->chip = TypeParam();
        chip.plans = {c.plan};
        chip.stuckPage = c.stuckPage;
        chip.deadline = 6'000'000;
        EXPECT_FALSE(this->Run());
        EXPECT_EQ(chip.replies.back(), c.lastReply);
        EXPECT_EQ(std::count(chip.replies.begin(), chip.replies.end(), kVerified), 0);
        EXPECT_FALSE(kboot::ApplicationValid(chip));

        chip.plans.push_back({Image(500, 3)});
        chip.stuckPage = -1;
        chip.deadline += 6'000'000;
        EXPECT_TRUE(this->Run());
        EXPECT_TRUE(
            std::equal(chip.flash.begin(), chip.flash.begin() + 500, Image(500, 3).begin()));
    }
}

// The verdict carries the CRC-32 of the flash. A reordering the 16-bit sum
// cannot see gets Verified, but its CRC-32 differs: the host's reject within
// the veto window leaves no record and a loader that announces. A host that
// knows no CRC sends nothing, and its verified image starts.
TYPED_TEST(BootCoreTest, TheHostVetoesAFlashWhoseCrcDiffers) {
    const auto image = Image(700);
    const struct {
        bool reordered, checksCrc, starts;
    } cases[] = {{true, true, false}, {false, false, true}, {true, false, true}};
    for (const auto& c : cases) {
        auto& chip = this->chip = TypeParam();
        HostPlan plan{image};
        plan.reordered = c.reordered;
        plan.checksCrc = c.checksCrc;
        chip.plans = {plan};
        chip.deadline = 4'000'000;
        EXPECT_EQ(this->Run(), c.starts);
        EXPECT_EQ(chip.replies.back(), kVerified);
        ASSERT_EQ(chip.crcs.size(), 1u);
        EXPECT_EQ(chip.crcs[0] == ImageCrc32(image.data(), image.size()), !c.reordered);
        EXPECT_EQ(chip.rejects, c.reordered && c.checksCrc ? 1 : 0);
        if (c.starts) continue;
        EXPECT_FALSE(kboot::ApplicationValid(chip));
        chip.plans.push_back({Image(300, 5)});  // still a loader: the next download lands
        chip.deadline += 4'000'000;
        EXPECT_TRUE(this->Run());
    }
}

// A stray 5A A5 just before the real header: the loader finds the header inside.
TYPED_TEST(BootCoreTest, AHeaderAfterAStrayLeadIsTaken) {
    for (const std::vector<uint8_t>& stray :
         {std::vector<uint8_t>{0x5A, 0xA5}, {0x5A, 0xA5, 0x80, 0x5A}, {0x5A}}) {
        auto& chip = this->chip = TypeParam();
        HostPlan plan{Image(200)};
        plan.header = stray;
        const auto header = test_support::DownloadHeader(plan.image);
        plan.header.insert(plan.header.end(), header.begin(), header.end());
        chip.plans = {plan};
        EXPECT_TRUE(this->Run()) << stray.size();
        EXPECT_EQ(chip.replies.front(), kAck);
    }
}

}  // namespace
