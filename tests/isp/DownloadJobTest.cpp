#include <gtest/gtest.h>

#include "isp/DownloadJob.h"
#include "isp/LinkProtocol.h"
#include "tests/isp/ScriptedPort.h"

namespace {

TEST(DownloadJob, FreshJobIsEmptyWithACellHoldingZero) {
    DownloadJob job;
    EXPECT_EQ(job.port, nullptr);
    EXPECT_EQ(job.baudRate, 0u);
    EXPECT_EQ(job.length, 0u);
    EXPECT_EQ(job.startAddress, 0u);
    EXPECT_EQ(job.checksum, 0u);
    EXPECT_EQ(job.image, nullptr);
    ASSERT_NE(job.progress, nullptr);
    EXPECT_EQ(job.progress->load(), 0);
    // A percentage can never be mistaken for a stop request.
    EXPECT_EQ(STOP_REQUEST, 0xE1);
    EXPECT_GT(STOP_REQUEST, 100);
}

// The cell as the worker uses it: stop test, progress sink, and Stop from another thread.
ExchangeHooks HooksFor(DownloadJob& job) {
    ExchangeHooks hooks;
    hooks.stopRequested = [&job] { return job.progress->load() == STOP_REQUEST; };
    hooks.progress = [&job](uint8_t percent) { job.progress->store(percent); };
    return hooks;
}

TEST(DownloadJob, CellCarriesProgressAndStop) {
    DownloadJob job;
    const std::vector<uint8_t> image(300, 0x11);

    ScriptedPort good;
    ScriptAcceptingTarget(good, 300);
    EXPECT_EQ(RunExchange(good, image.data(), 300, job.startAddress, 0, HooksFor(job)),
              Outcome::Success);
    EXPECT_EQ(job.progress->load(), 100);

    job.progress->store(0);
    ScriptedPort slow;
    slow.Send(kReadyFrame).Send(kAckFrame, 15);
    slow.onRead = [&job](uint32_t readsBefore) {
        if (readsBefore == 20) job.progress->store(STOP_REQUEST);
    };
    EXPECT_EQ(RunExchange(slow, image.data(), 300, job.startAddress, 0, HooksFor(job)),
              Outcome::UserStop);
    EXPECT_EQ(slow.reads, 21u);
}

}  // namespace
