#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "image/ImageChecksum.h"
#include "isp/LinkProtocol.h"
#include "tests/isp/ScriptedPort.h"
#include "tests/support/Sum16.h"

namespace {

using test_support::Sum16;

using Bytes = std::vector<uint8_t>;

const Bytes kEndFrame{0x5A, 0xA5, 0x88};

Bytes Pattern(uint32_t length) {
    Bytes image(length);
    for (uint32_t i = 0; i < length; ++i) image[i] = static_cast<uint8_t>(i * 7 + 3);
    return image;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Header(uint32_t length, uint16_t checksum) {
    Bytes header(kHeaderSize);
    BuildHeader(0, length, checksum, header.data());
    return header;
}

// One exchange over a scripted port, with every hook call recorded.
struct Exchange {
    ScriptedPort port;
    std::function<bool()> stopWhen;  // the stop test's answer; never stops when empty

    struct Message {
        std::string text;
        size_t purgesBefore;
        size_t writtenBefore;
    };
    std::vector<Message> messages;
    std::vector<uint8_t> percents;
    std::vector<uint32_t> stopTestReads;  // reads made before each stop test

    std::optional<uint32_t> quietReads;  // set: the exchange with the next board
    uint32_t announcing = 0;             // the next-board wait's two hooks
    uint32_t quietTold = 0;
    std::function<void(const char*)> verified;  // the verified hook

    Outcome Run(const Bytes& image) { return Run(image, Sum16(image)); }

    Outcome Run(const Bytes& image, uint16_t checksum) {
        ExchangeHooks hooks;
        hooks.stopRequested = [this] {
            stopTestReads.push_back(port.reads);
            return stopWhen && stopWhen();
        };
        hooks.progress = [this](uint8_t percent) { percents.push_back(percent); };
        hooks.message = [this](const char* text) {
            messages.push_back({text, port.purges.size(), port.written.size()});
        };
        hooks.announcing = [this] { ++announcing; };
        hooks.lineQuiet = [this] { ++quietTold; };
        hooks.verified = verified;
        const auto length = static_cast<uint32_t>(image.size());
        if (quietReads) {
            return RunNextBoardExchange(port, image.data(), length, 0, checksum, hooks,
                                        *quietReads);
        }
        return RunExchange(port, image.data(), length, 0, checksum, hooks);
    }

    // A failure: one message, given after the second purge, with no read after it.
    void ExpectFailure(const char* text) const {
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_EQ(messages[0].text, text);
        ASSERT_EQ(port.purges.size(), 2u);
        EXPECT_EQ(messages[0].purgesBefore, 2u);
        EXPECT_EQ(port.purges[0].reads, 0u);
        EXPECT_EQ(port.purges[0].written, 0u);
        EXPECT_EQ(port.purges[1].reads, port.reads);
        EXPECT_EQ(port.purges[1].written, port.written.size());
    }
};

TEST(ReadFrame, KeepsOnlyFramesThatStartWithTheLeadByte) {
    ScriptedPort port;
    port.Send({0x5A, 0x00}).Silence(1).Fail(1).Send({0xA5, 0x13, 0x00});
    uint8_t frame[3] = {};
    uint32_t count = 0;

    ReadFrame(port, frame, count);  // 5A: stored in place 0, not kept
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(frame[0], 0x5A);
    ReadFrame(port, frame, count);  // 00: overwrites it
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(frame[0], 0x00);
    ReadFrame(port, frame, count);  // time-out
    ReadFrame(port, frame, count);  // failure
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(frame[0], 0x00);
    ReadFrame(port, frame, count);  // A5 starts a frame, whatever follows is taken
    ReadFrame(port, frame, count);
    ReadFrame(port, frame, count);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(Bytes(frame, frame + 3), (Bytes{0xA5, 0x13, 0x00}));
}

TEST(ReadFrame, NeverReadsPastAFullFrame) {
    ScriptedPort port;
    port.Send({0x77});
    uint8_t frame[4] = {0xA5, 0x5A, 0x41, 0xEE};
    uint32_t count = 3;
    ReadFrame(port, frame, count);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(port.reads, 0u);
    EXPECT_EQ(frame[3], 0xEE);
}

TEST(Header, FieldsAreBigEndian) {
    uint8_t header[kHeaderSize];
    BuildHeader(0x01020304, 0x0A0B0C0D, 0xBEEF, header);
    EXPECT_EQ(Bytes(header, header + kHeaderSize),
              (Bytes{0x5A, 0xA5, 0x80, 0x01, 0x02, 0x03, 0x04, 0x0A, 0x0B, 0x0C, 0x0D, 0xBE, 0xEF,
                     0x00, 0x00}));
}

TEST(Exchange, SendsHeaderBlocksAndEndFrameFor256Bytes) {
    // 194 bytes of 0xC2 and 62 of 0xC1 sum to 0xC1C2.
    Bytes image(256, 0xC1);
    std::fill_n(image.begin(), 194, 0xC2);
    ASSERT_EQ(Sum16(image), 0xC1C2);
    Exchange run;
    ScriptAcceptingTarget(run.port, 256);

    EXPECT_EQ(run.Run(image), Outcome::Success);
    const Bytes header{0x5A, 0xA5, 0x80, 0x00, 0x00, 0x00, 0x00, 0x00,
                       0x00, 0x01, 0x00, 0xC1, 0xC2, 0x00, 0x00};
    EXPECT_EQ(run.port.written, Concat({header, image, kEndFrame}));
    EXPECT_EQ(run.port.writeSizes, (std::vector<size_t>{15, 128, 128, 3}));
    EXPECT_EQ(run.percents, (Bytes{50, 100}));
    // The success message comes before the end frame, and nothing is purged after the start.
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_EQ(run.messages[0].text, ".....Success !");
    EXPECT_EQ(run.messages[0].writtenBefore, 15u + 256u);
    ASSERT_EQ(run.port.purges.size(), 1u);
    EXPECT_EQ(run.port.purges[0].reads, 0u);
    EXPECT_TRUE(run.port.ScriptUsedUp());
}

TEST(Exchange, SplitsIntoFullBlocksAndARemainder) {
    const Bytes image = Pattern(300);
    Exchange run;
    ScriptAcceptingTarget(run.port, 300);

    EXPECT_EQ(run.Run(image), Outcome::Success);
    EXPECT_EQ(run.port.written, Concat({Header(300, Sum16(image)), image, kEndFrame}));
    EXPECT_EQ(run.port.writeSizes, (std::vector<size_t>{15, 128, 128, 44, 3}));
    EXPECT_EQ(run.percents, (Bytes{42, 85, 100}));
    // Stop tests: before each Ready read, after the non-final reads of each acknowledgement.
    EXPECT_EQ(run.stopTestReads, (std::vector<uint32_t>{0, 1, 2, 4, 5, 7, 8, 10, 11, 13, 14}));
}

TEST(Exchange, EmptyImageIsHeaderAcknowledgementAndEndFrame) {
    Exchange run;
    ScriptAcceptingTarget(run.port, 0);

    EXPECT_EQ(run.Run({}), Outcome::Success);
    EXPECT_EQ(run.port.written, Concat({Header(0, 0), kEndFrame}));
    EXPECT_TRUE(run.percents.empty());
    ASSERT_EQ(run.messages.size(), 1u);
    EXPECT_EQ(run.messages[0].text, ".....Success !");
    EXPECT_EQ(run.messages[0].writtenBefore, 15u);
}

TEST(Exchange, ProgressDoesNotOverflowForLargeImages) {
    // 100 * position no longer fits 32 bits past 42,949,672 bytes.
    const uint32_t length = 43'000'000;
    const Bytes image(length, 0x00);
    Exchange run;
    ScriptAcceptingTarget(run.port, length);

    EXPECT_EQ(run.Run(image), Outcome::Success);
    ASSERT_EQ(run.percents.size(), (length + kBlockSize - 1) / kBlockSize);
    EXPECT_TRUE(std::is_sorted(run.percents.begin(), run.percents.end()));
    EXPECT_EQ(run.percents[run.percents.size() / 2], 50);
    // Block 335545 ends at byte 42,949,760: 99 %, where a 32-bit product gives 0.
    EXPECT_EQ(run.percents[335544], 99);
    EXPECT_EQ(run.percents.back(), 100);
}

TEST(Exchange, IgnoresWriteResults) {
    const Bytes image = Pattern(130);
    Exchange run;
    ScriptAcceptingTarget(run.port, 130);
    run.port.writesFail = true;
    EXPECT_EQ(run.Run(image), Outcome::Success);
    EXPECT_EQ(run.port.written, Concat({Header(130, Sum16(image)), image, kEndFrame}));
}

TEST(Exchange, WorksWithoutHooks) {
    ScriptedPort port;
    EXPECT_EQ(RunExchange(port, nullptr, 0, 0, 0, ExchangeHooks{}), Outcome::NotFindDevice);
    EXPECT_EQ(port.reads, kReadyReadLimit);
}

// Ready wait: synchronisation on the lead byte.
TEST(ReadyWait, SkipsNoiseAndRecoversFromStrayLeadBytes) {
    const std::vector<Bytes> beforeReady = {
        {0x5A, 0x00, 0x13, 0xFF},  // noise without 0xA5
        {0x5A, 0x00},              // the tail of a frame
        {0xA5},                    // A5 A5 5A 00
        {0xA5, 0xA5},              // A5 A5 A5 5A 00
        {0xA5, 0x5A},              // A5 5A A5 5A 00
        {0xA5, 0x5A, 0x41},        // an acknowledgement is not Ready
        {0xA5, 0x00, 0x00, 0x00},  // a wrong frame, then Ready
    };
    for (const Bytes& noise : beforeReady) {
        SCOPED_TRACE(::testing::PrintToString(noise));
        Exchange run;
        run.port.Send(noise);
        ScriptAcceptingTarget(run.port, 10);
        EXPECT_EQ(run.Run(Pattern(10)), Outcome::Success);
        // The header follows the Ready wait's last read directly.
        EXPECT_EQ(run.port.purges.size(), 1u);
        EXPECT_EQ(run.port.written.size(), 15u + 10u + 3u);
        EXPECT_EQ(run.stopTestReads.size(), noise.size() + 3 + 2 * 2);
    }
}

TEST(ReadyWait, SilentLineIsNotFindDeviceAfter1001Reads) {
    Exchange run;
    EXPECT_EQ(run.Run(Pattern(10)), Outcome::NotFindDevice);
    EXPECT_EQ(run.port.reads, 1001u);
    EXPECT_EQ(run.stopTestReads.size(), 1002u);  // the stop test comes before the bound
    EXPECT_TRUE(run.port.written.empty());
    run.ExpectFailure(".....Not find device !");
}

TEST(ReadyWait, ReadyCompletedByTheLastAllowedRead) {
    Exchange run;
    run.port.Silence(998);
    ScriptAcceptingTarget(run.port, 1);
    EXPECT_EQ(run.Run(Pattern(1)), Outcome::Success);

    Exchange late;
    late.port.Silence(999);
    ScriptAcceptingTarget(late.port, 1);
    EXPECT_EQ(late.Run(Pattern(1)), Outcome::NotFindDevice);
    EXPECT_EQ(late.port.reads, 1001u);
}

TEST(ReadyWait, FailedReadsCountLikeSilence) {
    Exchange run;
    run.port.Fail(5000);
    EXPECT_EQ(run.Run(Pattern(1)), Outcome::NotFindDevice);
    EXPECT_EQ(run.port.reads, 1001u);
}

TEST(ReadyWait, TwoByteReplyEndsByTheBound) {
    Exchange run;
    run.port.Send({0xA5, 0x5A});
    EXPECT_EQ(run.Run(Pattern(1)), Outcome::NotFindDevice);
    EXPECT_EQ(run.port.reads, 1001u);
}

// Acknowledge waits.
TEST(AckWait, SilenceAfterHeaderIsReadTimeOutAfter1002Reads) {
    Exchange run;
    run.port.Send(kReadyFrame);
    EXPECT_EQ(run.Run(Pattern(200)), Outcome::ReadTimeOut);
    EXPECT_EQ(run.port.reads, 3u + 1002u);
    EXPECT_EQ(run.stopTestReads.size(), 3u + 1001u);  // none after the bound is reached
    EXPECT_EQ(run.port.written.size(), 15u);
    run.ExpectFailure(".....Read time out !");
}

TEST(AckWait, SilenceAfterABlockIsReadTimeOut) {
    const Bytes image = Pattern(300);
    Exchange run;
    run.port.Send(kReadyFrame).Send(kAckFrame, 15).Send(kAckFrame, WrittenAfterBlocks(300, 1));
    EXPECT_EQ(run.Run(image), Outcome::ReadTimeOut);
    EXPECT_EQ(run.port.reads, 3u + 3u + 3u + 1002u);
    EXPECT_EQ(run.port.written,
              Concat({Header(300, Sum16(image)), Bytes(image.begin(), image.begin() + 256)}));
    EXPECT_EQ(run.percents, (Bytes{42}));
    run.ExpectFailure(".....Read time out !");
}

TEST(AckWait, AcknowledgementCompletedByTheLastAllowedRead) {
    Exchange run;
    run.port.Send(kReadyFrame).Silence(999, 15).Send(kAckFrame, 15).Send(kAckFrame, 16);
    EXPECT_EQ(run.Run(Pattern(1)), Outcome::Success);

    Exchange late;
    late.port.Send(kReadyFrame).Silence(1000, 15).Send(kAckFrame, 15);
    EXPECT_EQ(late.Run(Pattern(1)), Outcome::ReadTimeOut);
    EXPECT_EQ(late.port.reads, 3u + 1002u);
}

TEST(AckWait, TwoByteReplyEndsByTheBound) {
    Exchange run;
    run.port.Send(kReadyFrame).Send({0xA5, 0x5A}, 15);
    EXPECT_EQ(run.Run(Pattern(5)), Outcome::ReadTimeOut);
    EXPECT_EQ(run.port.reads, 3u + 1002u);
    run.ExpectFailure(".....Read time out !");
}

TEST(AckWait, WrongReplyToHeaderIsError) {
    for (const Bytes& reply : {Bytes{0xA5, 0x5A, 0x42}, Bytes{0xA5, 0xA5, 0x5A}}) {
        SCOPED_TRACE(::testing::PrintToString(reply));
        Exchange run;
        run.port.Send(kReadyFrame).Send(reply, 15).Send(kAckFrame, 15);
        EXPECT_EQ(run.Run(Pattern(5)), Outcome::Error);
        EXPECT_EQ(run.port.reads, 6u);
        EXPECT_EQ(run.port.written.size(), 15u);
        run.ExpectFailure(".....Error !");
    }
}

TEST(AckWait, WrongReplyToABlockIsProgramError) {
    const Bytes image = Pattern(300);
    Exchange run;
    run.port.Send(kReadyFrame).Send(kAckFrame, 15).Send(kAckFrame, WrittenAfterBlocks(300, 1));
    run.port.Send({0x00, 0xA5, 0x5A, 0x42}, WrittenAfterBlocks(300, 2)).Send(kAckFrame);
    EXPECT_EQ(run.Run(image), Outcome::ProgramError);
    EXPECT_EQ(run.port.written.size(), 15u + 256u);
    EXPECT_EQ(run.percents, (Bytes{42}));
    run.ExpectFailure(".....Program Error !");
}

TEST(AckWait, ReadyFramesBeforeTheHeadersReplyAreSkippedWithinTheBound) {
    auto readies = [](size_t n) {
        Bytes frames;
        for (size_t i = 0; i < n; ++i)
            frames.insert(frames.end(), kReadyFrame.begin(), kReadyFrame.end());
        return frames;
    };
    struct Case {
        Bytes beforeReply;  // what the target sends after the header, before its acknowledgement
        Outcome outcome;
        uint32_t reads;
    };
    const Case cases[] = {
        {readies(1), Outcome::Success, 3 + 3 + 3 + 3 + kVerdictReadLimit},
        {readies(3), Outcome::Success, 3 + 9 + 3 + 3 + kVerdictReadLimit},
        {Concat({{0x13}, readies(1)}), Outcome::Success, 3 + 4 + 3 + 3 + kVerdictReadLimit},
        {Concat({readies(1), {0xA5, 0x5A, 0x42}}), Outcome::Error, 3 + 6},
        // 333 Ready frames and the acknowledgement take 1002 reads; one Ready more is too many.
        {readies(333), Outcome::Success, 3 + 1002 + 3 + kVerdictReadLimit},
        {readies(334), Outcome::ReadTimeOut, 3 + 1002},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.beforeReply.size());
        Exchange run;
        run.port.Send(kReadyFrame).Send(c.beforeReply, 15).Send(kAckFrame, 15).Send(kAckFrame, 16);
        EXPECT_EQ(run.Run(Pattern(1)), c.outcome);
        EXPECT_EQ(run.port.reads, c.reads);
    }
}

TEST(AckWait, ReadyInReplyToABlockIsProgramError) {
    Exchange run;
    run.port.Send(kReadyFrame).Send(kAckFrame, 15).Send(kReadyFrame, 16).Send(kAckFrame, 16);
    EXPECT_EQ(run.Run(Pattern(1)), Outcome::ProgramError);
    run.ExpectFailure(".....Program Error !");
}

TEST(DeviceGone, EndsEveryWaitAtOnceWithItsOutcome) {
    struct Case {
        size_t written;  // host bytes written when the device goes
        Outcome outcome;
        const char* message;
        uint32_t reads;
    };
    const Case cases[] = {
        {0, Outcome::NotFindDevice, ".....Not find device !", 6},
        {15, Outcome::ReadTimeOut, ".....Read time out !", 3 + 6},
        {15 + 128, Outcome::ReadTimeOut, ".....Read time out !", 3 + 3 + 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.written);
        Exchange run;
        if (c.written >= 15) run.port.Send(kReadyFrame);
        if (c.written > 15) run.port.Send(kAckFrame, 15);
        run.port.Silence(5, c.written).Gone(1, c.written).Send(kAckFrame);
        EXPECT_EQ(run.Run(Pattern(300)), c.outcome);
        EXPECT_EQ(run.port.reads, c.reads);
        EXPECT_EQ(run.port.written.size(), c.written);
        run.ExpectFailure(c.message);
    }
}

// The verdict after the end frame: the first complete frame within 10 reads,
// then the flash's CRC-32 within 5 quiet reads.
TEST(Verdict, OnlyAFrameWithinTheBoundCountsAndNoneLeavesTodaysExchange) {
    const Bytes image = Pattern(200);
    const uint32_t crc = ImageCrc32(image.data(), image.size());
    const Bytes crcBytes{uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
    const Bytes wrongCrc{uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8),
                         uint8_t(crc ^ 1)};
    const Bytes verified{0xA5, 0x5A, 0x56};
    const Bytes failed{0xA5, 0x5A, 0x43};
    const Bytes reject{0x5A, 0xA5, 0x8F};
    struct Case {
        const char* what;
        std::function<void(ScriptedPort&, size_t end)> script;  // after the end frame's bytes
        Outcome outcome;
        std::string check;      // the verified hook's, empty when not called
        uint32_t verdictReads;  // reads after the end frame
        bool rejects = false;   // the host sends 5A A5 8F
    };
    const Case cases[] = {
        {"no verdict: the bound", [](ScriptedPort&, size_t) {}, Outcome::Success, "", 10},
        {"verified by the image's CRC-32",
         [&](ScriptedPort& p, size_t end) {
             p.Send(Concat({verified, crcBytes}), end);
         },
         Outcome::Success, "crc32", 7},
        {"a CRC-32 that differs: rejected",
         [&](ScriptedPort& p, size_t end) {
             p.Send(Concat({verified, wrongCrc}), end);
         },
         Outcome::VerifyError, "", 7, true},
        {"verified without CRC: the sum only",
         [&](ScriptedPort& p, size_t end) { p.Send(verified, end); }, Outcome::Success, "sum16",
         3 + kCrcReadLimit},
        {"check failed", [&](ScriptedPort& p, size_t end) { p.Send(failed, end); },
         Outcome::VerifyError, "", 3},
        {"completed by the last read",
         [&](ScriptedPort& p, size_t end) { p.Silence(7, end).Send(verified, end); },
         Outcome::Success, "sum16", 10 + kCrcReadLimit},
        {"one read too late",
         [&](ScriptedPort& p, size_t end) { p.Silence(8, end).Send(failed, end); },
         Outcome::Success, "", 10},
        {"noise, then the verdict",
         [&](ScriptedPort& p, size_t end) {
             p.Send(Concat({{0x13, 0x5A}, failed}), end);
         },
         Outcome::VerifyError, "", 5},
        {"more noise than the bound, then the verdict",
         [&](ScriptedPort& p, size_t end) {
             p.Silence(5, end).Send(Bytes(kVerdictNoiseLimit, 0x13), end).Send(failed, end);
         },
         Outcome::VerifyError, "", 5 + kVerdictNoiseLimit + 3},
        {"endless noise ends by the bound",
         [&](ScriptedPort& p, size_t end) { p.Send(Bytes(500, 0x13), end); }, Outcome::Success, "",
         kVerdictNoiseLimit + 10},
        {"another frame first",
         [&](ScriptedPort& p, size_t end) {
             p.Send(Concat({kAckFrame, failed}), end);
         },
         Outcome::Success, "", 3},
        {"the device gone", [](ScriptedPort& p, size_t end) { p.Silence(2, end).Gone(1, end); },
         Outcome::Success, "", 3},
        {"a failing read is a read", [](ScriptedPort& p, size_t end) { p.Fail(20, end); },
         Outcome::Success, "", 10},
    };
    const size_t end = WrittenAfterBlocks(200, 2) + kEndFrameSize;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Exchange run;
        ScriptAcceptingTarget(run.port, 200);
        const uint32_t readsBefore = 3 + 3 * 3;
        c.script(run.port, end);
        std::string check;
        run.verified = [&](const char* how) { check = how; };
        EXPECT_EQ(run.Run(image), c.outcome);
        EXPECT_EQ(check, c.check);
        EXPECT_EQ(run.port.reads, readsBefore + c.verdictReads);
        // The host's bytes are today's, and the reject when the flash differs.
        EXPECT_EQ(run.port.written, Concat({Header(200, Sum16(image)), image, kEndFrame,
                                            c.rejects ? reject : Bytes{}}));
        ASSERT_EQ(run.port.purges.size(), 1u);
        // "Success !" before the end frame, and a rejected image's Verify Error after the wait.
        std::vector<std::string> texts;
        for (const auto& m : run.messages) texts.push_back(m.text);
        std::vector<std::string> expected{".....Success !"};
        if (c.outcome == Outcome::VerifyError) expected.push_back(".....Verify Error !");
        EXPECT_EQ(texts, expected);
        EXPECT_EQ(run.messages[0].writtenBefore, end - kEndFrameSize);
    }
}

// Stop requests.
TEST(Stop, RequestedBeforeTheStartEndsBeforeAnyRead) {
    Exchange run;
    run.port.Send(kReadyFrame);
    run.stopWhen = [] { return true; };
    EXPECT_EQ(run.Run(Pattern(10)), Outcome::UserStop);
    EXPECT_EQ(run.port.reads, 0u);
    EXPECT_TRUE(run.port.written.empty());
    run.ExpectFailure(".....User stop !");
}

TEST(Stop, DuringReadyWaitEndsBeforeTheNextRead) {
    Exchange run;
    run.port.Send({0x11, 0x22}).Silence(10);
    run.stopWhen = [&run] { return run.port.reads >= 5; };
    EXPECT_EQ(run.Run(Pattern(10)), Outcome::UserStop);
    EXPECT_EQ(run.port.reads, 5u);
    run.ExpectFailure(".....User stop !");
}

TEST(Stop, WinsOverTheReadyBound) {
    Exchange run;
    run.stopWhen = [&run] { return run.port.reads >= 1001; };
    EXPECT_EQ(run.Run(Pattern(10)), Outcome::UserStop);
    EXPECT_EQ(run.port.reads, 1001u);
}

TEST(Stop, InAcknowledgeWaitsIsSeenAfterAReadThatDidNotCompleteAFrame) {
    const Bytes image = Pattern(300);
    Exchange header;
    header.port.Send(kReadyFrame);
    header.stopWhen = [&header] { return header.port.reads >= 10; };
    EXPECT_EQ(header.Run(image), Outcome::UserStop);
    EXPECT_EQ(header.port.reads, 10u);
    EXPECT_EQ(header.port.written.size(), 15u);
    header.ExpectFailure(".....User stop !");

    // Requested while the header's acknowledgement completes: not looked at
    // until the first read of the next wait.
    Exchange block;
    ScriptAcceptingTarget(block.port, 300);
    block.stopWhen = [&block] { return block.port.reads >= 6; };
    EXPECT_EQ(block.Run(image), Outcome::UserStop);
    EXPECT_EQ(block.port.reads, 7u);
    EXPECT_EQ(block.port.written.size(), 15u + 128u);
    EXPECT_TRUE(block.percents.empty());
    block.ExpectFailure(".....User stop !");
}

TEST(Stop, DoesNotWinOverTheAcknowledgeBound) {
    Exchange run;
    run.port.Send(kReadyFrame);
    run.stopWhen = [&run] { return run.port.reads >= 3 + 1002; };
    EXPECT_EQ(run.Run(Pattern(10)), Outcome::ReadTimeOut);
    EXPECT_EQ(run.port.reads, 3u + 1002u);
}

// The next board: the first Ready frame after a quiet gap is a board, whatever
// traffic came between; the wait has no read bound (these runs end by a stop
// after 3000 reads). Ready frames before the gap are told, and so is the gap
// that follows them (in the runs with no board, the accepting target's own
// Ready frame is the last one, and silence follows it).
TEST(NextBoardWait, TakesTheFirstReadyFrameAfterTheQuietGap) {
    struct Case {
        const char* what;
        std::function<void(ScriptedPort&)> script;  // what comes before an accepting target
        uint32_t quietReads;
        bool flashed;
        uint32_t announcing;  // Ready frames not taken
        uint32_t quietTold;
    };
    const Bytes ready = kReadyFrame;
    const Case cases[] = {
        {"the first board: no gap needed", [](ScriptedPort&) {}, 0, true, 0, 0},
        {"a board announcing at once", [](ScriptedPort&) {}, 3, false, 1, 1},
        {"after a gap of exactly 3 reads", [](ScriptedPort& p) { p.Silence(3); }, 3, true, 0, 0},
        {"failed reads are quiet too", [](ScriptedPort& p) { p.Fail(3); }, 3, true, 0, 0},
        {"a gap one read short", [](ScriptedPort& p) { p.Silence(2); }, 3, false, 1, 1},
        {"noise after the gap is traffic",
         [](ScriptedPort& p) {
             p.Silence(3).Send({0x13, 0x00, 0x5A});
         },
         3, true, 0, 0},
        {"a stray lead byte after the gap", [](ScriptedPort& p) { p.Silence(5).Send({0xA5}); }, 3,
         true, 0, 0},
        {"a stray lead byte before the gap is dropped",
         [](ScriptedPort& p) { p.Send({0xA5}).Silence(3); }, 3, true, 0, 0},
        {"a partial frame before the gap is dropped",
         [](ScriptedPort& p) {
             p.Send({0xA5, 0x5A}).Silence(3);
         },
         3, true, 0, 0},
        {"a partial frame with no gap after it",
         [](ScriptedPort& p) {
             p.Send({0xA5, 0x5A});
         },
         3, false, 1, 1},
        {"noise before a frame that is not Ready breaks no rule",
         [](ScriptedPort& p) { p.Silence(3).Send({0x13}).Send(kAckFrame); }, 3, true, 0, 0},
        {"a board that keeps announcing with noise",
         [&](ScriptedPort& p) {
             for (int i = 0; i < 100; ++i) p.Send({0x13}).Send(ready).Silence(2);
         },
         3, false, 101, 1},
        {"a board that keeps announcing, then a new one",
         [&](ScriptedPort& p) {
             for (int i = 0; i < 500; ++i) p.Send(ready).Silence(2);
             p.Silence(1);
         },
         3, true, 500, 1},
    };
    {
        Exchange gone;  // a device that went away brings no board: the wait ends
        gone.quietReads = 3;
        gone.port.Silence(5).Gone(1);
        EXPECT_EQ(gone.Run(Pattern(10)), Outcome::NotFindDevice);
        EXPECT_EQ(gone.port.reads, 6u);
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Exchange run;
        run.quietReads = c.quietReads;
        c.script(run.port);
        ScriptAcceptingTarget(run.port, 10);
        run.stopWhen = [&run] { return run.port.reads >= 3000; };
        const Outcome outcome = run.Run(Pattern(10));
        EXPECT_EQ(outcome, c.flashed ? Outcome::Success : Outcome::UserStop);
        EXPECT_EQ(run.port.written.size(), c.flashed ? 15u + 10u + 3u : 0u);
        EXPECT_EQ(run.port.ScriptUsedUp(), c.flashed);
        EXPECT_EQ(run.port.reads >= 3000u, !c.flashed);
        EXPECT_EQ(run.announcing, c.announcing);
        EXPECT_EQ(run.quietTold, c.quietTold);
    }
}

}  // namespace
