// The boot loader's core on a fake chip, for pages of 64, 128 and 256 bytes.
// Every case also requires a clean run: no receiver overrun and no flash
// operation the silicon would refuse.
#include <gtest/gtest.h>

#include "boot/core/BootCore.h"
#include "tests/boot/FakeChip.h"

namespace {

using boot_test::AppStarted;
using boot_test::HostPlan;
using boot_test::TimeUp;

constexpr uint8_t kAck = 0x41, kRefuse = 0x42, kVerified = 0x56, kCorrupt = 0x43;

std::vector<uint8_t> Image(size_t size, uint8_t seed = 1) {
    std::vector<uint8_t> image(size);
    for (size_t i = 0; i < size; ++i) image[i] = uint8_t((i * 7 + seed) & 0xFE);  // bit 0 clear
    return image;
}

template <class Chip>
class BootCoreTest : public testing::Test {
protected:
    Chip chip;

    // True when the core started the application, false when time ran out.
    bool Run() {
        try {
            kboot::BootCore<Chip>(chip).Run();
        } catch (AppStarted&) {
            return true;
        } catch (TimeUp&) {
        }
        return false;
    }

    void ExpectClean() { EXPECT_TRUE(chip.faults.empty()) << chip.faults.front(); }

    bool RecordValid() {
        try {
            return kboot::ApplicationValid(chip);
        } catch (TimeUp&) {
            return false;
        }
    }

    std::vector<uint8_t> Flash(size_t from, size_t count) {
        return {chip.flash.begin() + long(from), chip.flash.begin() + long(from + count)};
    }
};

using PageSizes =
    testing::Types<boot_test::FakeChip<64>, boot_test::FakeChip<128>, boot_test::FakeChip<256>>;
TYPED_TEST_SUITE(BootCoreTest, PageSizes);

// A verified download lands byte for byte, ends in 'V' and starts the
// application; the old record is cleared before the first page is touched.
TYPED_TEST(BootCoreTest, DownloadVerifiesAndStarts) {
    for (size_t size :
         {size_t(1), size_t(127), size_t(128), size_t(300), size_t(TypeParam::kAppSize)}) {
        SCOPED_TRACE(size);
        this->chip = TypeParam();
        this->chip.Program(Image(TypeParam::kAppSize, 9), true);  // an older application
        this->chip.plans = {HostPlan(Image(size))};
        ASSERT_TRUE(this->Run());
        const size_t blocks = (size + 127) / 128;
        std::vector<uint8_t> expected(blocks + 1, kAck);
        expected.push_back(kVerified);
        EXPECT_EQ(this->chip.replies, expected);
        EXPECT_EQ(this->Flash(0, size), Image(size));
        const size_t pageEnd =
            (size + TypeParam::kPageSize - 1) / TypeParam::kPageSize * TypeParam::kPageSize;
        EXPECT_EQ(this->Flash(size, pageEnd - size), std::vector<uint8_t>(pageEnd - size, 0xFF));
        EXPECT_EQ(this->chip.flashLog.front(), "E " + std::to_string(TypeParam::kRecordAddress));
        EXPECT_TRUE(this->RecordValid());
        this->ExpectClean();
    }
}

// Refused headers leave flash and record alone; the loader announces again
// and still starts the application it holds.
TYPED_TEST(BootCoreTest, RefusedHeaderLeavesFlash) {
    const struct {
        int offset;
        uint8_t value;
    } damage[] = {{2, 0x81}, {6, 0x01}, {3, 0x01},  {10, 0x00}, {9, 0x21},
                  {8, 0x01}, {7, 0x01}, {13, 0x01}, {14, 0x01}};
    for (auto d : damage) {
        SCOPED_TRACE(d.offset);
        this->chip = TypeParam();
        this->chip.Program(Image(100), true);
        HostPlan plan(Image(256));
        plan.header = boot_test::HeaderFor(plan.image);
        plan.header[size_t(d.offset)] = d.value;  // 9/0x21 is one page over the area
        if (d.offset == 10) plan.header[9] = 0;   // length 0
        this->chip.plans = {plan};
        ASSERT_TRUE(this->Run());
        EXPECT_EQ(this->chip.replies, std::vector<uint8_t>{kRefuse});
        EXPECT_TRUE(this->chip.flashLog.empty());
        EXPECT_GE(this->chip.readyTimes.size(), 2u);
        this->ExpectClean();
    }
}

// Start-up: a valid application starts once the window has passed with Ready
// every period; any other record announces for ever.
TYPED_TEST(BootCoreTest, StartsOnlyAVerifiedApplication) {
    const struct {
        int recordLength;  // -1: the record of the image itself
        bool starts;
    } cases[] = {
        {-1, true}, {99, false}, {0, false}, {0xFFFF, false}, {TypeParam::kAppSize + 1, false}};
    for (auto c : cases) {
        SCOPED_TRACE(c.recordLength);
        this->chip = TypeParam();
        this->chip.Program(Image(100), true);
        if (c.recordLength >= 0) {
            this->chip.flash[TypeParam::kRecordAddress] = uint8_t(c.recordLength);
            this->chip.flash[TypeParam::kRecordAddress + 1] = uint8_t(c.recordLength >> 8);
        }
        this->chip.deadline = 5'000'000;
        EXPECT_EQ(this->Run(), c.starts);
        const auto& ready = this->chip.readyTimes;
        EXPECT_EQ(ready.size(), c.starts ? 10u : 50u);
        for (size_t i = 1; i < ready.size(); ++i)
            EXPECT_NEAR(double(ready[i] - ready[i - 1]), 100'000, 100);
        if (c.starts) {
            EXPECT_GE(this->chip.now, 1'000'000u);
        }
        this->ExpectClean();
    }
}

// A download cut anywhere, or one that fails its check, leaves no valid
// record and a loader that announces and takes the next download.
TYPED_TEST(BootCoreTest, FailedDownloadLeavesALoader) {
    const auto image = Image(1000);  // 8 blocks
    HostPlan wrongEnd(image);
    wrongEnd.endFrame[2] = 0x89;
    const struct {
        const char* what;
        HostPlan plan;
        uint8_t lastReply;
    } cases[] = {
        {"cut after header", HostPlan(image, 0), kAck},
        {"cut mid-image", HostPlan(image, 4), kAck},
        {"cut before end frame", HostPlan(image, 8), kAck},
        {"damaged block", HostPlan(image, -1, 3), kCorrupt},
        {"damaged last block", HostPlan(image, -1, 8), kCorrupt},
        {"wrong end frame", wrongEnd, kCorrupt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        this->chip = TypeParam();
        this->chip.plans = {c.plan};
        this->chip.deadline = 6'000'000;
        EXPECT_FALSE(this->Run());
        EXPECT_EQ(this->chip.replies.back(), c.lastReply);
        EXPECT_FALSE(this->RecordValid());
        this->ExpectClean();

        this->chip.plans.push_back(HostPlan(Image(500, 3)));
        this->chip.deadline += 6'000'000;
        EXPECT_TRUE(this->Run());
        EXPECT_EQ(this->chip.replies.back(), kVerified);
        EXPECT_EQ(this->Flash(0, 500), Image(500, 3));
        this->ExpectClean();
    }
}

// A page that reads back wrong refuses the next block, or for the last page
// gives the verdict 'C'.
TYPED_TEST(BootCoreTest, ReadBackFailureIsReported) {
    const size_t size = 1024;
    const int lastPage = int(size / TypeParam::kPageSize) - 1;
    for (int page : {0, lastPage}) {
        SCOPED_TRACE(page);
        this->chip = TypeParam();
        this->chip.stuckPage = page;
        this->chip.plans = {HostPlan(Image(size))};
        EXPECT_FALSE(this->Run());
        EXPECT_EQ(this->chip.replies.back(), page == lastPage ? kCorrupt : kRefuse);
        EXPECT_EQ(std::count(this->chip.replies.begin(), this->chip.replies.end(), kVerified), 0);
        EXPECT_FALSE(this->RecordValid());
        this->ExpectClean();
    }
}

}  // namespace
